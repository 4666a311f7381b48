// The title bar child: caption, page tabs, window buttons and dragging.
#include "app/app.h"
#include "app/title_bar_hit.h"
#include "res/resource.h"

HWND g_closeButton;
HWND g_minimizeButton;

const int kButtonSize = 16;

int RegisterTitleBarClass()
{
    // The class brush lives as long as the process.
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

static HINSTANCE WindowInstance(HWND window)
{
    return (HINSTANCE)GetWindowLongPtrW(window, GWLP_HINSTANCE);
}

static HWND CreateWindowButton(HWND window, int x)
{
    return CreateWindowExW(0, L"BUTTON", L"", WS_CHILD | WS_VISIBLE | BS_BITMAP | BS_OWNERDRAW, x,
                           5, kButtonSize, kButtonSize, window, NULL, WindowInstance(window), NULL);
}

static void OnCreate(HWND window)
{
    RECT client;
    GetClientRect(GetParent(window), &client);
    int width = client.right - client.left;
    g_closeButton = CreateWindowButton(window, width - 25);
    g_minimizeButton = CreateWindowButton(window, width - 60);
}

static void OnPaint(HWND window)
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    DrawLabel(dc, L"Orvisoft", 5, 5);
    // The selected tab is filled in the page colour; it reaches below the bar.
    HRGN tab = g_page == 1 ? CreateRoundRectRgn(10, 41, 85, 90, 0, 0)
                           : CreateRoundRectRgn(86, 41, 160, 90, 0, 0);
    HBRUSH fill = CreateSolidBrush(kPageColour);
    FillRgn(dc, tab, fill);
    DeleteObject(tab);
    DeleteObject(fill);
    DrawLabel(dc, L"注册", 29, 54);
    DrawLabel(dc, L"卸载", 105, 54);
    EndPaint(window, &ps);
}

static void OnDrawItem(HWND window, const DRAWITEMSTRUCT *item)
{
    int held = (item->itemState & ODS_SELECTED) != 0;
    int id;
    if (item->hwndItem == g_closeButton)
        id = held ? IDB_CLOSE_PRESSED : IDB_CLOSE;
    else
        id = held ? IDB_MINIMIZE_PRESSED : IDB_MINIMIZE;

    HDC memory = CreateCompatibleDC(item->hDC);
    // The 32 x 32 glyph arrives scaled to 16 x 16.
    HBITMAP glyph = (HBITMAP)LoadImageW(WindowInstance(window), MAKEINTRESOURCEW(id), IMAGE_BITMAP,
                                        kButtonSize, kButtonSize, LR_DEFAULTSIZE);
    HGDIOBJ previous = SelectObject(memory, glyph);
    BitBlt(item->hDC, 0, 0, kButtonSize, kButtonSize, memory, 0, 0, SRCCOPY);
    SelectObject(memory, previous);
    DeleteDC(memory);
    if (glyph)
        DeleteObject(glyph);
}

// Only the sender counts, never the notification code.
static void OnCommand(HWND window, LPARAM lParam)
{
    HWND sender = (HWND)lParam;
    if (sender == g_closeButton)
        SendMessageW(GetParent(window), WM_CLOSE, 0, 0);
    if (sender == g_minimizeButton)
        ShowWindow(GetParent(window), SW_MINIMIZE);
}

// Invalidates the tab strip of the bar and the page area of the main window.
static void RepaintPages(HWND window)
{
    HWND parent = GetParent(window);
    RECT rect;
    GetClientRect(window, &rect);
    rect.top = 30;
    InvalidateRect(window, &rect, TRUE);
    GetClientRect(parent, &rect);
    rect.top = 80;
    InvalidateRect(parent, &rect, TRUE);
}

static void OnLeftButtonDown(HWND window, LPARAM lParam)
{
    unsigned x = LOWORD(lParam);
    unsigned y = HIWORD(lParam);
    TitleBarPress press = PressTitleBar(x, y, g_page);
    g_page = press.page;
    for (int i = 0; i < press.repaints; i++)
        RepaintPages(window);
    // The platform's move loop runs inside this send until the button is released.
    if (press.drag)
        SendMessageW(GetParent(window), WM_NCLBUTTONDOWN, HTCAPTION, 0);
}

LRESULT CALLBACK TitleBarWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        OnCreate(window);
        break;
    case WM_PAINT:
        OnPaint(window);
        break;
    case WM_DRAWITEM:
        OnDrawItem(window, (const DRAWITEMSTRUCT *)lParam);
        break;
    case WM_COMMAND:
        OnCommand(window, lParam);
        break;
    case WM_LBUTTONDOWN:
        OnLeftButtonDown(window, lParam);
        break;
    }
    // Every message goes on to the default handling, whose result is returned.
    return DefWindowProcW(window, message, wParam, lParam);
}
