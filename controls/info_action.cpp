// The right-click action: the selected control's CLSID, server path and,
// when the browser installed it, its version in one box, or the error box of
// the read that failed.
#include "controls/actions.h"

#include "base/text.h"
#include "base/windows_shared.h"
#include "controls/controls.h"

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
    const wchar_t *otherLine = read.otherView == kView64 ? L"\r\nPATH（64位）：" : L"\r\nPATH（32位）：";
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
