// The Register page: the main window's answer to a drop (the first dropped
// file registered, handed on as a cabinet, or refused) and the running
// report of a cabinet in the processing edit. The engine does the work;
// this side writes the edits and shows the boxes.
#include "app/app.h"

#include "base/cabinet_report.h"
#include "base/file_kind.h"
#include "base/text.h"
#include "register/register.h"

#include <shellapi.h>

// ---- a dropped file -----------------------------------------------------------------------------
// The main window's answer to a drop: the first dropped file is registered,
// handed on as a cabinet, or refused.
const wchar_t kPathTooLong[] = L"ERROR:拖入文件路径过长！";
static const wchar_t kNotControlFile[] = L"ERROR:拖入不是.cab、.ocx、.dll文件！";

void HandleDroppedFile(HWND window, HDROP drop)
{
    if (g_page == 2) {
        g_page = 1;
        InvalidateRect(window, NULL, TRUE);
    }

    wchar_t path[kDroppedPathSize] = {};
    // Ask for the length first: a name that does not fit is never read cut.
    UINT length = DragQueryFileW(drop, 0, NULL, 0);
    bool fits = length > 0 && length < (UINT)kDroppedPathSize;
    if (fits && DragQueryFileW(drop, 0, path, kDroppedPathSize) != length)
        fits = false;
    DragFinish(drop);
    if (!fits) {
        path[0] = 0;
        SetWindowTextW(g_pathEdit, path);
        SetWindowTextW(g_infoEdit,
                       length >= (UINT)kDroppedPathSize ? kPathTooLong : kNotControlFile);
        return;
    }
    SetWindowTextW(g_pathEdit, path);

    if (IsCabinetFileName(path)) {
        RegisterCabinet(path);
        return;
    }
    if (!IsControlFileName(path)) {
        SetWindowTextW(g_infoEdit, kNotControlFile);
        return;
    }
    if (length > kMaxControlPath) {
        SetWindowTextW(g_infoEdit, kPathTooLong);
        return;
    }

    DWORD exitCode;
    int registered = RegisterControlFileForExit(path, &exitCode);
    // Only a failed registration is looked into, so a success costs nothing more.
    wchar_t reason[kReasonChars] = {};
    if (!registered)
        DiagnoseRegistration(path, exitCode, reason, kReasonChars);
    // The report's lines are masked as every report line is: the reason may
    // hold a DLL name read from the file.
    MaskControlCharacters(path);
    MaskControlCharacters(reason);
    if (registered) {
        wchar_t report[kDroppedPathSize + 32] = {};
        ComposeText(report, sizeof(report) / sizeof(report[0]),
                    {L"拖入文件路径：", path, L"\r\n注册状态：文件注册成功！"});
        SetWindowTextW(g_infoEdit, report);
        return;
    }
    wchar_t report[kDroppedPathSize + kReasonChars + 32] = {};
    ComposeText(report, sizeof(report) / sizeof(report[0]),
                {L"拖入文件路径：", path, L"\r\n失败原因：", (const wchar_t *)reason,
                 L"\r\n注册状态：文件注册失败！"});
    SetWindowTextW(g_infoEdit, report);
}

// ---- a dropped cabinet --------------------------------------------------------------------------
// A dropped cabinet in the window: the engine unpacks and registers it, and
// this side writes its running report into the processing edit, shows the
// extraction's error boxes, says why a control did not register, and ends
// the report with one status line.
wchar_t g_statusText[kStatusTextSize] = L"拖入文件路径:";

static const wchar_t kUnconvertible[] = L"ERROR:拖入文件路径含有无法转换的字符！";
static const wchar_t kUnsafeBaseFolder[] =
    L"ERROR:系统盘根目录的OrviActiveX文件夹不安全（不是管理员建立的、是连接点或不是文件夹），"
    L"请管理员把它改名后再试！";

// The edit that receives the report and owns the extraction's boxes: the
// processing edit, taken when the cabinet's work starts.
static HWND g_notifyEdit;

// The window's side of one cabinet's work.
struct WindowReport {
    int held; // the edit's painting is held
    ReportLayout layout;
};

// Setting the edit's text, or scrolling it, repaints its scroll bar at once:
// per file that cost a fifth of the whole unpacking, though the window cannot
// repaint anyway while the work holds its thread. The default procedure takes
// the message, as Wine's edit keeps WM_SETREDRAW to itself and goes on
// painting. A hidden edit is left alone, so the page stays as painting made it.
static void HoldPainting(WindowReport *window)
{
    if (window->held || !(GetWindowLongW(g_notifyEdit, GWL_STYLE) & WS_VISIBLE))
        return;
    DefWindowProcW(g_notifyEdit, WM_SETREDRAW, FALSE, 0);
    window->held = 1;
}

// Painting comes back before any message box, whose loop repaints the
// window, and at the end; the edit is then repainted as a whole once the
// thread is back at its messages.
static void ReleasePainting(WindowReport *window)
{
    if (!window->held)
        return;
    DefWindowProcW(g_notifyEdit, WM_SETREDRAW, TRUE, 0);
    RedrawWindow(g_notifyEdit, NULL, NULL, RDW_ERASE | RDW_FRAME | RDW_INVALIDATE);
    window->held = 0;
}

static void ShowBox(WindowReport *window, const wchar_t *text)
{
    ReleasePainting(window);
    MessageBoxW(g_notifyEdit, text, L"", MB_OK);
}

// The report shows the cabinet path and the new folder, then starts the file
// list. A report left over from an earlier cabinet that leaves no room is
// started afresh.
static void FolderMade(void *context, const wchar_t *cabinetPath, const wchar_t *folder)
{
    WindowReport *window = (WindowReport *)context;
    HoldPainting(window);
    wchar_t text[kStatusTextSize] = {};
    ComposeReportHead(text, kStatusTextSize, g_statusText, cabinetPath, folder);
    if (text[0])
        CopyText(g_statusText, kStatusTextSize, (const wchar_t *)text);
    SetWindowTextW(g_notifyEdit, g_statusText);
    StartFileList(g_statusText, kStatusTextSize, &window->layout);
}

// One line per output path, shown as soon as it is listed.
static void Unpacked(void *context, const wchar_t *path)
{
    WindowReport *window = (WindowReport *)context;
    wchar_t line[kExtractWidePathSize + 2] = {};
    if (ComposeText(line, kExtractWidePathSize + 2, {path, L"\r\n"}))
        AppendListLine(g_statusText, kStatusTextSize, &window->layout, line);
    SetWindowTextW(g_notifyEdit, g_statusText);
}

// A refused name is listed in its place as refused, never as unpacked.
static void Refused(void *context, const wchar_t *path)
{
    WindowReport *window = (WindowReport *)context;
    AppendRefusedLine(g_statusText, kStatusTextSize, &window->layout, path);
    SetWindowTextW(g_notifyEdit, g_statusText);
}

// The lines below the list are shown with the status line at the end.
static void Stopped(void *context)
{
    WindowReport *window = (WindowReport *)context;
    AppendAfterList(g_statusText, kStatusTextSize, &window->layout, {kUnpackStoppedLine});
}

// Only a failed registration is looked into, never a successful one.
static void Registered(void *context, const wchar_t *path, int ok, DWORD exitCode)
{
    if (ok)
        return;
    WindowReport *window = (WindowReport *)context;
    wchar_t reason[kReasonChars] = {};
    DiagnoseRegistration(path, exitCode, reason, kReasonChars);
    AppendFailureLine(g_statusText, kStatusTextSize, &window->layout, path, reason);
}

// A control file with an ending in another letter case is named like a failure.
static void Misnamed(void *context, const wchar_t *path, const wchar_t *ending)
{
    WindowReport *window = (WindowReport *)context;
    wchar_t reason[kReasonChars] = {};
    if (ComposeMisnamedReason(reason, kReasonChars, ending))
        AppendFailureLine(g_statusText, kStatusTextSize, &window->layout, path, reason);
}

void RegisterCabinet(const wchar_t *path)
{
    g_notifyEdit = g_infoEdit;
    WindowReport window = {};
    CabinetReport report = {&window, FolderMade, Unpacked, Refused, Stopped, Registered, Misnamed};
    int outcome = UnpackAndRegisterCabinet(path, &report);
    switch (outcome) {
    case kCabinetPathTooLong:
        SetWindowTextW(g_infoEdit, kPathTooLong);
        return;
    case kCabinetPathUnconvertible:
        SetWindowTextW(g_infoEdit, kUnconvertible);
        return;
    case kCabinetUnsafeBaseFolder:
        SetWindowTextW(g_infoEdit, kUnsafeBaseFolder);
        return;
    case kCabinetNoDecompressor:
        ShowBox(&window, L"");
        ShowBox(&window, L"error");
        return;
    case kCabinetNotUnpacked:
        ShowBox(&window, L"error");
        return;
    case kCabinetUnreadable:
        AppendAfterList(g_statusText, kStatusTextSize, &window.layout, {kNotACabinetLine});
        break;
    default:
        break;
    }
    // The status line is only in the buffer yet: the edit still shows the file list.
    HoldPainting(&window);
    SendMessageW(g_infoEdit, WM_VSCROLL, SB_BOTTOM, 0);
    EndReport(g_statusText, kStatusTextSize,
              outcome == kCabinetRegistered ? kCabinetRegisteredLine : kCabinetNotRegisteredLine);
    SetWindowTextW(g_infoEdit, g_statusText);
    CopyText(g_statusText, kStatusTextSize, kReportAtRest);
    SendMessageW(g_infoEdit, WM_VSCROLL, SB_BOTTOM, 0);
    ReleasePainting(&window);
}
