// Application shell: start-up, the main window with its two pages, and the
// title bar. Everything runs on the one UI thread.
#pragma once

#include "base/windows_shared.h"

// Title bar buttons, set when the title bar is created.
extern HWND g_closeButton;
extern HWND g_minimizeButton;

int RunMainWindow(HINSTANCE instance);
void AllowMessageThroughFilter(UINT message);
ATOM RegisterMainWindowClass(HINSTANCE instance);
HWND CreateMainWindow(HINSTANCE instance);
LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

int RegisterTitleBarClass();
LRESULT CALLBACK TitleBarWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

void DrawLabel(HDC dc, const wchar_t *text, int x, int y);

// Colours and the font face shared by the shell's painting.
const COLORREF kPageColour = RGB(100, 3, 6);
const COLORREF kHighlightColour = RGB(126, 3, 6);
const COLORREF kLabelColour = RGB(255, 255, 255);
const BYTE kGb2312Charset = 134;
extern const wchar_t kFontFace[];
