// Start-up: privilege filter, window classes, the main window, the message loop.
#include "app/app.h"
#include "res/resource.h"

typedef BOOL(WINAPI *ChangeWindowMessageFilterFn)(UINT, DWORD);

const UINT kCopyGlobalData = 0x0049; // needed by drag and drop between processes

// The elevated process would otherwise drop WM_DROPFILES from a normal shell.
void AllowMessageThroughFilter(UINT message)
{
    HMODULE user32 = LoadLibraryW(L"user32.dll");
    if (!user32)
        return;
    ChangeWindowMessageFilterFn change =
        (ChangeWindowMessageFilterFn)(void *)GetProcAddress(user32, "ChangeWindowMessageFilter");
    if (change)
        change(message, 1 /* MSGFLT_ADD */);
    FreeLibrary(user32);
}

ATOM RegisterMainWindowClass(HINSTANCE instance)
{
    // The class brush lives as long as the process.
    static HBRUSH background = CreateSolidBrush(kPageColour);
    WNDCLASSW wc = {};
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = MainWndProc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_ORVI));
    wc.hCursor = LoadCursorW(NULL, IDC_ARROW);
    wc.hbrBackground = background;
    wc.lpszClassName = L"window";
    return RegisterClassW(&wc);
}

HWND CreateMainWindow(HINSTANCE instance)
{
    return CreateWindowExW(WS_EX_ACCEPTFILES, L"window", L"Orvi ActiveX 控件管理",
                           WS_POPUP | WS_BORDER | WS_MINIMIZEBOX, 200, 100, 700, 500, NULL, NULL,
                           instance, NULL);
}

int RunMainWindow(HINSTANCE instance)
{
    AllowMessageThroughFilter(WM_DROPFILES);
    AllowMessageThroughFilter(kCopyGlobalData);
    RegisterMainWindowClass(instance);
    RegisterTitleBarClass();
    HWND window = CreateMainWindow(instance);
    if (!window)
        return 1;
    ShowWindow(window, SW_SHOWNORMAL);
    UpdateWindow(window);

    MSG msg;
    while (GetMessageW(&msg, NULL, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return (int)msg.wParam;
}
