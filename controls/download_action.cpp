// The download action: hands the address the browser once downloaded the
// selected control from to the shell, or says why it cannot.
#include "controls/actions.h"

#include "base/windows_shared.h"
#include "controls/controls.h"

#include <shellapi.h>

static void ShowNotice(HWND owner, const wchar_t *text)
{
    MessageBoxW(owner, text, kNoticeCaption, MB_OK);
}

void OpenDownloadLocation(const wchar_t *progId, HWND owner)
{
    wchar_t clsid[kValueChars] = {};
    wchar_t address[kValueChars] = {};
    if (!LookUpClsid(owner, progId, clsid, kValueChars))
        return;
    if (!ReadDownloadAddress(IsWow64(), clsid, address, kValueChars)) {
        ShowNotice(owner, L"无法找到下载路径！");
        return;
    }
    // Even an empty address goes to the shell; what it makes of it is its own affair.
    ShellExecuteW(owner, L"open", address, NULL, NULL, SW_SHOW);
}

void DownloadAction(HWND owner)
{
    if (SendMessageW(g_controlList, LB_GETCOUNT, 0, 0) == 0) {
        ShowNotice(owner, kQueryFirst);
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
