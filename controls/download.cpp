// Download location: hands the address the browser once downloaded the
// selected control from, as the Code Store DataBase recorded it, to the shell.
#include "controls/controls.h"

#include "base/windows_shared.h"
#include "base/text.h"

#include <shellapi.h>

static void ShowNotice(HWND owner, const wchar_t *text)
{
    MessageBoxW(owner, text, L"提示", MB_OK);
}

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

void OpenDownloadLocation(const wchar_t *progId, HWND owner)
{
    wchar_t clsid[kValueChars] = {};
    wchar_t address[kValueChars] = {};
    wchar_t path[kKeyPathChars] = {};
    HKEY key;

    if (!LookUpClsid(owner, progId, clsid, kValueChars))
        return;
    if (!ComposeUnitPath(path, kKeyPathChars, IsWow64(), clsid, L"\\DownloadInformation") ||
        RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        ShowNotice(owner, L"无法找到下载路径！");
        return;
    }
    if (!ReadValueText(key, L"CODEBASE", address, kValueChars)) {
        ShowNotice(owner, L"无法找到下载路径！");
        RegCloseKey(key);
        return;
    }
    // Even an empty address goes to the shell; what it makes of it is its own affair.
    ShellExecuteW(owner, L"open", address, NULL, NULL, SW_SHOW);
    RegCloseKey(key);
}

void DownloadAction(HWND owner)
{
    if (SendMessageW(g_controlList, LB_GETCOUNT, 0, 0) == 0) {
        ShowNotice(owner, L"请点击查询安装按钮！");
        return;
    }
    wchar_t progId[kSelectedEntrySize] = {};
    GetSelectedEntryText(progId, kSelectedEntrySize);
    if (!progId[0]) {
        ShowNotice(owner, L"请点击列表中需要下载的控件！");
        return;
    }
    OpenDownloadLocation(progId, owner);
}
