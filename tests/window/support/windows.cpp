// The real main window and message pumping for the tests.
#include "window/support/window_support.h"

#include "app/app.h"

#include <shellapi.h>
#include <shlobj.h>

void PumpMessages(DWORD ms)
{
    DWORD start = GetTickCount();
    do {
        MSG msg;
        while (PeekMessageW(&msg, NULL, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT)
                continue;
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        MsgWaitForMultipleObjects(0, NULL, FALSE, 10, QS_ALLINPUT);
    } while (GetTickCount() - start < ms);
}

HWND StartMainWindow()
{
    static bool registered = false;
    HINSTANCE instance = GetModuleHandleW(NULL);
    if (!registered) {
        RegisterMainWindowClass(instance);
        RegisterTitleBarClass();
        registered = true;
    }
    g_page = 1;
    HWND window = CreateMainWindow(instance);
    ShowWindow(window, SW_SHOWNORMAL);
    UpdateWindow(window);
    PumpMessages(50);
    return window;
}

void CloseMainWindow(HWND window)
{
    if (IsWindow(window))
        DestroyWindow(window);
    MSG msg;
    while (PeekMessageW(&msg, NULL, 0, 0, PM_REMOVE)) {
        if (msg.message != WM_QUIT)
            DispatchMessageW(&msg);
    }
}

void Repaint(HWND window)
{
    RedrawWindow(window, NULL, NULL, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
}

std::wstring WindowText(HWND window)
{
    int n = GetWindowTextLengthW(window);
    std::wstring text(n + 1, L'\0');
    GetWindowTextW(window, &text[0], n + 1);
    text.resize(lstrlenW(text.c_str()));
    return text;
}

std::vector<std::wstring> ListEntries()
{
    std::vector<std::wstring> entries;
    LRESULT count = SendMessageW(g_controlList, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; i++) {
        LRESULT n = SendMessageW(g_controlList, LB_GETTEXTLEN, i, 0);
        std::wstring text(n + 1, L'\0');
        SendMessageW(g_controlList, LB_GETTEXT, i, (LPARAM)&text[0]);
        text.resize(n);
        entries.push_back(text);
    }
    return entries;
}

void ExpectPageShown(int page, Caller)
{
    bool registerPage = page == 1;
    EXPECT_EQ(registerPage, IsWindowVisible(g_pathEdit) != FALSE);
    EXPECT_EQ(registerPage, IsWindowVisible(g_infoEdit) != FALSE);
    EXPECT_EQ(!registerPage, IsWindowVisible(g_controlList) != FALSE);
    EXPECT_EQ(!registerPage, IsWindowVisible(g_queryButton) != FALSE);
    EXPECT_EQ(!registerPage, IsWindowVisible(g_uninstallAllButton) != FALSE);
    EXPECT_EQ(!registerPage, IsWindowVisible(g_downloadButton) != FALSE);
}

Canvas MakeCanvas(int width, int height, COLORREF fill)
{
    HDC screen = GetDC(NULL);
    Canvas c;
    c.dc = CreateCompatibleDC(screen);
    c.bitmap = CreateCompatibleBitmap(screen, width, height);
    ReleaseDC(NULL, screen);
    c.previous = SelectObject(c.dc, c.bitmap);
    RECT all = {0, 0, width, height};
    HBRUSH brush = CreateSolidBrush(fill);
    FillRect(c.dc, &all, brush);
    DeleteObject(brush);
    return c;
}

void FreeCanvas(Canvas &c)
{
    SelectObject(c.dc, c.previous);
    DeleteObject(c.bitmap);
    DeleteDC(c.dc);
}

void SendDrawItem(HWND parent, HWND button, UINT state, HDC dc, int width, int height)
{
    DRAWITEMSTRUCT item = {};
    item.CtlType = ODT_BUTTON;
    item.itemAction = ODA_DRAWENTIRE;
    item.itemState = state;
    item.hwndItem = button;
    item.hDC = dc;
    item.rcItem = {0, 0, width, height};
    SendMessageW(parent, WM_DRAWITEM, 0, (LPARAM)&item);
}

void Command(HWND window, HWND sender, WORD code)
{
    SendMessageW(window, WM_COMMAND, MAKEWPARAM(0, code), (LPARAM)sender);
}

bool SelectEntry(const std::wstring &entry)
{
    LRESULT index =
        SendMessageW(g_controlList, LB_FINDSTRINGEXACT, (WPARAM)-1, (LPARAM)entry.c_str());
    if (index == LB_ERR)
        return false;
    return SendMessageW(g_controlList, LB_SETCURSEL, index, 0) == index;
}

void MainWindowTest::SetUp()
{
    StartAnsweringBoxes();
    RemoveFamilyKeys();
    window = StartMainWindow();
    ASSERT_TRUE(IsWindow(window));
}

void MainWindowTest::TearDown()
{
    CloseMainWindow(window);
    window = NULL;
    g_page = 1;
    RemoveFamilyKeys();
    StopAnsweringBoxes();
}

HDROP MakeDrop(const std::vector<std::wstring> &files)
{
    size_t chars = 1;
    for (const std::wstring &f : files)
        chars += f.size() + 1;
    HGLOBAL block = GlobalAlloc(GHND, sizeof(DROPFILES) + chars * sizeof(wchar_t));
    DROPFILES *header = (DROPFILES *)GlobalLock(block);
    header->pFiles = sizeof(DROPFILES);
    header->fWide = TRUE;
    wchar_t *names = (wchar_t *)(header + 1);
    for (const std::wstring &f : files) {
        CopyMemory(names, f.c_str(), (f.size() + 1) * sizeof(wchar_t));
        names += f.size() + 1;
    }
    *names = 0;
    GlobalUnlock(block);
    return (HDROP)block;
}

void SendDrop(HWND window, const std::vector<std::wstring> &files)
{
    SendMessageW(window, WM_DROPFILES, (WPARAM)MakeDrop(files), 0);
}
