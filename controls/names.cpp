// Names as Windows compares file paths, key names and ProgIDs: code unit by
// code unit, letter case ignored. A collating comparison (lstrcmpiW) would
// also ignore characters without sort weight and take a look-alike for the
// name.
#include "controls/controls.h"

#include "base/text.h"

int SameName(const wchar_t *a, const wchar_t *b)
{
    return CompareStringOrdinal(a, -1, b, -1, TRUE) == CSTR_EQUAL;
}

int StartsWithName(const wchar_t *text, const wchar_t *start)
{
    int n = (int)TextLength(start);
    return (int)TextLengthWithin(text, (size_t)n) == n &&
           CompareStringOrdinal(text, n, start, n, TRUE) == CSTR_EQUAL;
}
