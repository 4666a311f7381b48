// Which registered server paths name a file: the removal deletes only such a
// file, and orvictl looks only for such a file.
#include "controls/controls.h"

static int IsAsciiLetter(wchar_t c)
{
    return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z');
}

// A drive letter, a colon and a backslash, or \\server\share. Anything else
// would be resolved against the tool's working folder (or drive) and name a
// file that belongs to no control. The device forms \\.\ and \\?\ are no
// server's share either.
int IsAbsoluteServerPath(const wchar_t *path)
{
    if (IsAsciiLetter(path[0]) && path[1] == L':' && path[2] == L'\\')
        return 1;
    if (path[0] != L'\\' || path[1] != L'\\')
        return 0;
    int i = 2;
    while (path[i] && path[i] != L'\\')
        i++;
    if (i == 2 || path[i] != L'\\' || !path[i + 1] || path[i + 1] == L'\\')
        return 0;
    return !(i == 3 && (path[2] == L'.' || path[2] == L'?'));
}
