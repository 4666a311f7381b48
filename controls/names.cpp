// Names as Windows compares file paths, key names and ProgIDs: code unit by
// code unit, letter case ignored. A collating comparison (lstrcmpiW) would
// also ignore characters without sort weight and take a look-alike for the
// name. And names converted to the ANSI code page only when no character
// changes: no best fit (a look-alike letter never passes for the plain one)
// and no default character.
#include "controls/controls.h"

#include "base/text.h"

int SameName(const wchar_t *a, const wchar_t *b)
{
    return CompareStringOrdinal(a, -1, b, -1, TRUE) == CSTR_EQUAL;
}

int ToAnsiWhole(const wchar_t *text, int length, char *out, int cap, int *whole)
{
    // UTF-8 as the ANSI code page has no best fit and replaces only broken
    // surrogates; it takes neither the best-fit flag nor the question.
    int utf8 = GetACP() == CP_UTF8;
    UINT codePage = utf8 ? CP_UTF8 : CP_ACP;
    DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    BOOL replaced = FALSE;
    int size =
        WideCharToMultiByte(codePage, flags, text, length, NULL, 0, NULL, utf8 ? NULL : &replaced);
    *whole = size > 0 && !replaced;
    if (!*whole || size > cap)
        return 0;
    return WideCharToMultiByte(codePage, flags, text, length, out, cap, NULL, NULL);
}
