// Which registered server paths name a file: the removal deletes only such a
// file, and orvictl looks only for such a file.
#include "controls/controls.h"

#include "base/text.h"

#include <wchar.h>

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

// The references to the system's own folders, from the system itself: a
// user can set any other variable, and his own values of these, in the
// environment an elevated process of his starts with.
static int ExpandSystemReferences(const wchar_t *value, wchar_t *expanded)
{
    wchar_t windows[MAX_PATH] = {};
    UINT n = GetSystemWindowsDirectoryW(windows, MAX_PATH);
    if (n < 3 || n >= MAX_PATH)
        return 0;
    wchar_t drive[3] = {windows[0], windows[1], 0};
    expanded[0] = 0;
    for (const wchar_t *c = value; *c;) {
        const wchar_t *end = *c == L'%' ? wcschr(c + 1, L'%') : NULL;
        if (*c == L'%' && !end)
            return 0;
        if (!end) {
            wchar_t one[2] = {*c++, 0};
            if (!AppendText(expanded, kServerPathSize, (const wchar_t *)one))
                return 0;
            continue;
        }
        wchar_t name[16] = {};
        size_t length = (size_t)(end - c - 1);
        if (length >= 16)
            return 0;
        for (size_t i = 0; i < length; i++)
            name[i] = c[1 + i];
        const wchar_t *folder = SameName(name, L"SystemRoot") || SameName(name, L"windir") ? windows
                                : SameName(name, L"SystemDrive")                           ? drive
                                                                                           : NULL;
        if (!folder || !AppendText(expanded, kServerPathSize, folder))
            return 0;
        c = end + 1;
    }
    return 1;
}

// An expandable value has its environment references expanded first (as the
// process that loads the control expands them; systemOnly: only those to the
// system's folders, from the system), surrounding quotes are dropped, and
// only a full path names a file.
int ServerFileOfValue(const wchar_t *value, DWORD type, wchar_t *file, int systemOnly)
{
    static wchar_t expanded[kServerPathSize];
    file[0] = 0;
    if (type == REG_EXPAND_SZ && systemOnly) {
        if (!ExpandSystemReferences(value, expanded))
            return 0;
    } else if (type == REG_EXPAND_SZ) {
        DWORD n = ExpandEnvironmentStringsW(value, expanded, kServerPathSize);
        if (n == 0 || n > (DWORD)kServerPathSize)
            return 0;
    } else if (type != REG_SZ || !CopyText(expanded, kServerPathSize, value)) {
        return 0;
    }
    wchar_t *path = expanded;
    size_t length = TextLength(path);
    if (length >= 2 && path[0] == L'"' && path[length - 1] == L'"') {
        path[length - 1] = 0;
        path++;
    }
    if (!IsAbsoluteServerPath(path) || !CopyText(file, kServerPathSize, (const wchar_t *)path)) {
        file[0] = 0;
        return 0;
    }
    return 1;
}
