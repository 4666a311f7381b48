// The main window's answer to a drop: the first dropped file is registered,
// handed on as a cabinet, or refused.
#include "register/drop_actions.h"

#include "base/cabinet_report.h"
#include "base/file_kind.h"
#include "base/text.h"
#include "base/windows_shared.h"
#include "register/register.h"

#include <shellapi.h>

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
