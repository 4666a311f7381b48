// The title bar child: caption, page tabs, window buttons and dragging.
#include "app/app.h"

HWND g_closeButton;
HWND g_minimizeButton;

int RegisterTitleBarClass()
{
    static HBRUSH background = CreateSolidBrush(kHighlightColour);
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = TitleBarWndProc;
    wc.hInstance = GetModuleHandleW(NULL);
    wc.hCursor = LoadCursorW(NULL, IDC_ARROW);
    wc.hbrBackground = background;
    wc.lpszClassName = L"TitleBar";
    RegisterClassExW(&wc);
    return 0;
}

LRESULT CALLBACK TitleBarWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcW(window, message, wParam, lParam);
}
