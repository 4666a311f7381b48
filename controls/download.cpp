// The address the browser once downloaded a control from, as the Code Store
// DataBase recorded it.
#include "controls/controls.h"

#include "base/text.h"

int ReadDownloadAddress(BOOL wow64, const wchar_t *clsid, wchar_t *address, int cap)
{
    wchar_t path[kKeyPathChars] = {};
    HKEY key;
    address[0] = 0;
    if (!ComposeUnitPath(path, kKeyPathChars, wow64, clsid, L"\\DownloadInformation") ||
        RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return 0;
    int ok = ReadValueText(key, L"CODEBASE", address, cap);
    RegCloseKey(key);
    return ok;
}
