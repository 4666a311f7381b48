// Conversion to the ANSI code page that never changes a character: no best
// fit (a look-alike letter never passes for the plain one) and no default
// character. Header-only, as it needs the Windows headers and base/*.cpp
// stays free of them.
#pragma once

#include <windows.h>

// Converts length characters of text (-1: up to and with its terminator)
// into out (cap bytes). *whole tells whether every character converts as it
// is, whatever the room; returns the bytes written, 0 when a character would
// change or the result does not fit.
inline int ToAnsiWhole(const wchar_t *text, int length, char *out, int cap, int *whole)
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
