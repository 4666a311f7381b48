// The Uninstall page's actions: the query fills the list, the removals ask
// and refill it, the right click shows a control's information and the
// download button hands its recorded address to the shell; their boxes are
// owned by the main window (owner). The list's entries are read into fixed
// buffers without ever writing past them.
#include "app/app.h"

#include "base/text.h"
#include "controls/controls.h"
#include "records/records.h"

#include <shellapi.h>

// ---- the query ----------------------------------------------------------------------------------
// The query action: fills the Uninstall page's list with the family's
// installed controls, or says that none is installed.
static void EmptyList()
{
    LRESULT count = SendMessageW(g_controlList, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; i++)
        SendMessageW(g_controlList, LB_DELETESTRING, 0, 0);
}

static void AddListEntry(const wchar_t *progId, void *)
{
    SendMessageW(g_controlList, LB_ADDSTRING, 0, (LPARAM)progId);
}

int QueryInstalledControls()
{
    EmptyList();
    return EnumerateInstalledControls(AddListEntry, NULL);
}

void QueryAction(HWND owner)
{
    if (QueryInstalledControls() == 0)
        MessageBoxW(owner, kNothingInstalled, kNoticeCaption, MB_OK);
}

// ---- the removals -------------------------------------------------------------------------------
// The Uninstall page's removal actions: a double click on an entry and the
// uninstall-all button. Both refill the list once at the end.
void DoubleClickAction(HWND owner)
{
    // With no entry selected (or one too long to read whole) the text stays
    // empty, and removing it does nothing.
    wchar_t progId[kRemovalEntrySize] = {};
    GetSelectedEntryText(progId, kRemovalEntrySize);
    if (MessageBoxW(owner, L"   是否卸载？", kNoticeCaption, MB_YESNO) != IDYES)
        return;
    UninstallControl(progId);
    QueryInstalledControls();
}

void UninstallAllAction(HWND owner)
{
    int count = (int)SendMessageW(g_controlList, LB_GETCOUNT, 0, 0);
    if (count == 0) {
        MessageBoxW(owner, kQueryFirst, kNoticeCaption, MB_OK);
        return;
    }
    if (MessageBoxW(owner,
                    L"是否卸载列表中的全部控件？\r\n"
                    L"如果点击是,请稍等几秒钟,直到列表为空就表示卸载全部操作完成。",
                    kNoticeCaption, MB_YESNO) != IDYES)
        return;
    // The list stays as it is during the loop: entries go in list order.
    for (int i = 0; i < count; i++) {
        wchar_t progId[kRemovalEntrySize] = {};
        GetListEntryText(i, progId, kRemovalEntrySize);
        RemovalOutcome outcome;
        RemoveControl(progId, &outcome);
    }
    PruneRecords();
    QueryInstalledControls();
}

// ---- the information box ------------------------------------------------------------------------
// The right-click action: the selected control's CLSID, server path and,
// when the browser installed it, its version in one box, or the error box of
// the read that failed.
static void ShowError(HWND owner, const wchar_t *text)
{
    MessageBoxW(owner, text, L"ERROR", MB_OK);
}

static void ShowInfoError(HWND owner, int result)
{
    ShowError(owner,
              result == kInfoKeyNotOpened ? L"RegOpenKeyEx失败！" : L"RegQueryValueEx失败！");
}

int LookUpClsid(HWND owner, const wchar_t *progId, wchar_t *clsid, int cap)
{
    int result = ReadClsid(progId, clsid, cap);
    if (result != kInfoRead) {
        ShowInfoError(owner, result);
        return 0;
    }
    return 1;
}

void ShowControlInfo(HWND owner, const wchar_t *progId)
{
    ControlInfo read = {};
    wchar_t info[kInfoTextChars] = {};

    int result = ReadControlInfo(progId, &read);
    if (result != kInfoRead) {
        ShowInfoError(owner, result);
        return;
    }
    // The own view's server as the box always showed it, then the other
    // view's, named by its bitness.
    const wchar_t *otherLine =
        read.otherView == kView64 ? L"\r\nPATH（64位）：" : L"\r\nPATH（32位）：";
    if (!ComposeText<wchar_t>(info, kInfoTextChars,
                              {L"CLSID：", read.clsid, read.hasServer ? L"\r\nPATH：" : L"",
                               read.serverPath, read.otherView ? otherLine : L"",
                               read.otherServerPath})) {
        ShowError(owner, L"RegQueryValueEx失败！");
        return;
    }
    if (read.hasVersion) {
        // The buffer holds the longest pieces; should it not, the line is left out.
        wchar_t line[kVersionLineChars] = {};
        if (ComposeText<wchar_t>(line, kVersionLineChars, {L"\nVERSION：", read.version}))
            AppendText(info, kInfoTextChars, (const wchar_t *)line);
    }
    // Last, whether the browser will load it, and if not the first reason.
    static ControlServers servers;
    static Readiness readiness;
    ReadControlServers(progId, &servers);
    CheckReadiness(&servers, &readiness);
    AppendText(info, kInfoTextChars, readiness.count ? L"\r\n状态：" : L"\r\n状态：可以使用");
    if (readiness.count)
        AppendText(info, kInfoTextChars, (const wchar_t *)readiness.problems[0].text);
    MessageBoxW(owner, info, L"OrviInfo", MB_OK);
}

void RightClickAction(HWND owner, WPARAM clicked, LPARAM position)
{
    // Keyboard requests (-1) and clicks at screen x or y -1 are ignored.
    if ((HWND)clicked != g_controlList || LOWORD(position) == 0xFFFF || HIWORD(position) == 0xFFFF)
        return;
    wchar_t progId[kSelectedEntrySize] = {};
    // The selection decides, not the entry under the pointer.
    GetSelectedEntryText(progId, kSelectedEntrySize);
    if (progId[0])
        ShowControlInfo(owner, progId);
}

// ---- the download address -----------------------------------------------------------------------
// The download action: hands the address the browser once downloaded the
// selected control from to the shell, or says why it cannot.
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

// ---- list entries -------------------------------------------------------------------------------
// Reading list entries into fixed buffers without ever writing past them.
int GetListEntryText(int index, wchar_t *text, int cap)
{
    text[0] = 0;
    if (index < 0 || cap <= 0)
        return 0;
    LRESULT length = SendMessageW(g_controlList, LB_GETTEXTLEN, index, 0);
    // LB_GETTEXT takes no size: an entry that does not fit is skipped, not cut.
    if (length == LB_ERR || length >= cap)
        return 0;
    LRESULT copied = SendMessageW(g_controlList, LB_GETTEXT, index, (LPARAM)text);
    if (copied == LB_ERR) {
        text[0] = 0;
        return 0;
    }
    return (int)copied;
}

int GetSelectedEntryText(wchar_t *text, int cap)
{
    LRESULT index = SendMessageW(g_controlList, LB_GETCURSEL, 0, 0);
    if (index == LB_ERR) {
        if (cap > 0)
            text[0] = 0;
        return 0;
    }
    return GetListEntryText((int)index, text, cap);
}
