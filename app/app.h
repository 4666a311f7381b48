// The window: start-up, the main window with its two pages, the title bar.
// Everything runs on the one UI thread. Grouped by the file that defines it.
#pragma once

#include <windows.h>

#include <shellapi.h>

#include "base/limits.h"

// Colours and the font face shared by the shell's painting.
const COLORREF kPageColour = RGB(100, 3, 6);
const COLORREF kHighlightColour = RGB(126, 3, 6);
const COLORREF kLabelColour = RGB(255, 255, 255);
const BYTE kGb2312Charset = 134;

// ---- startup.cpp ------------------------------------------------------------------
int RunMainWindow(HINSTANCE instance);
void AllowMessageThroughFilter(UINT message);
ATOM RegisterMainWindowClass(HINSTANCE instance);
HWND CreateMainWindow(HINSTANCE instance);

// ---- main_window.cpp ----------------------------------------------------------------
// Page mode: 1 is the Register page; any other value paints the Uninstall page.
extern int g_page;
// The main window's children, created once with it; the pages only send
// them messages.
extern HWND g_pathEdit;
extern HWND g_infoEdit;
extern HWND g_controlList;
extern HWND g_queryButton;
extern HWND g_uninstallAllButton;
extern HWND g_downloadButton;
extern const wchar_t kFontFace[];
LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// ---- title_bar.cpp ------------------------------------------------------------------
// Title bar buttons, set when the title bar is created.
extern HWND g_closeButton;
extern HWND g_minimizeButton;
int RegisterTitleBarClass();
LRESULT CALLBACK TitleBarWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// ---- draw_label.cpp -----------------------------------------------------------------
void DrawLabel(HDC dc, const wchar_t *text, int x, int y);

// ---- register_page.cpp --------------------------------------------------------------
// Running report of a cabinet drop; "拖入文件路径:" at rest.
extern wchar_t g_statusText[kStatusTextSize];
// The refusal of a dropped path too long to be handled.
extern const wchar_t kPathTooLong[];
void HandleDroppedFile(HWND window, HDROP drop);
void RegisterCabinet(const wchar_t *path);

// ---- uninstall_page.cpp -------------------------------------------------------------
// The caption of the actions' notices and questions.
const wchar_t kNoticeCaption[] = L"提示";
// An action that needs the list filled first.
const wchar_t kQueryFirst[] = L"请点击查询安装按钮！";
// Fills the list with the family's installed controls; returns their number.
int QueryInstalledControls();
void QueryAction(HWND owner);
void DoubleClickAction(HWND owner);
void UninstallAllAction(HWND owner);
// Yields the default value of the ProgID's "CLSID" subkey in clsid (cap at
// least kValueChars); otherwise shows the error box and returns 0.
int LookUpClsid(HWND owner, const wchar_t *progId, wchar_t *clsid, int cap);
void ShowControlInfo(HWND owner, const wchar_t *progId);
void RightClickAction(HWND owner, WPARAM clicked, LPARAM position);
void OpenDownloadLocation(const wchar_t *progId, HWND owner);
void DownloadAction(HWND owner);
// Reads the selected list entry into text (capacity cap characters). An entry
// that does not fit is skipped, not cut: text stays empty. Returns the length.
int GetSelectedEntryText(wchar_t *text, int cap);
// Reads list entry index the same way; returns its length, 0 when skipped.
int GetListEntryText(int index, wchar_t *text, int cap);
