// The main window: start-up page, page switching, routing of commands by
// sender, colours and fonts of the children, and drawing objects, windows and
// handles over many paints, queries and drops.
#include "window/support/window_support.h"

#include "app/app.h"
#include "controls/controls.h"
#include "register/register.h"

#include <gtest/gtest.h>

TEST_F(MainWindowTest, FirstPaintShowsRegisterPage)
{
    EXPECT_EQ(1, g_page);
    ExpectPageShown(1);
    RECT r;
    GetWindowRect(window, &r);
    EXPECT_EQ(700, r.right - r.left);
    EXPECT_EQ(500, r.bottom - r.top);
    EXPECT_EQ(0, GetWindowLongW(window, GWL_STYLE) & WS_CAPTION & ~WS_BORDER);
}

TEST_F(MainWindowTest, PageFollowsModeOnlyWhenRepainted)
{
    g_page = 2;
    PumpMessages(50);
    ExpectPageShown(1); // no invalidation, nothing changes
    Repaint(window);
    ExpectPageShown(2);
    g_page = 7; // any value but 1 is the Uninstall page
    Repaint(window);
    ExpectPageShown(7);
    g_page = 1;
    Repaint(window);
    ExpectPageShown(1);
}

TEST_F(MainWindowTest, ChildrenKeepEntryOrderAndAcceptTyping)
{
    EXPECT_EQ(0, GetWindowLongW(g_controlList, GWL_STYLE) & LBS_SORT);
    EXPECT_NE(0, GetWindowLongW(g_controlList, GWL_STYLE) & LBS_NOTIFY);
    EXPECT_EQ(30, SendMessageW(g_controlList, LB_GETITEMHEIGHT, 0, 0));
    EXPECT_EQ(0, GetWindowLongW(g_pathEdit, GWL_STYLE) & ES_READONLY);
    EXPECT_NE(0, GetWindowLongW(g_infoEdit, GWL_STYLE) & ES_MULTILINE);
    for (HWND button : {g_queryButton, g_uninstallAllButton, g_downloadButton})
        EXPECT_EQ(BS_OWNERDRAW, GetWindowLongW(button, GWL_STYLE) & BS_TYPEMASK);
    SendMessageW(g_controlList, LB_ADDSTRING, 0, (LPARAM)L"VY.Ofz");
    SendMessageW(g_controlList, LB_ADDSTRING, 0, (LPARAM)L"ORVI.a");
    EXPECT_EQ((std::vector<std::wstring>{L"VY.Ofz", L"ORVI.a"}), ListEntries());
}

// Every command carrying a button's handle runs that button's action,
// whatever its notification code; list notifications other than a double
// click do nothing.
TEST_F(MainWindowTest, CommandsAreRoutedBySenderHandle)
{
    Command(g_uninstallAllButton, BN_CLICKED);
    Command(g_downloadButton, BN_SETFOCUS);
    Command(g_queryButton, 1234);
    EXPECT_BOXES({window, kHintCaption, kQueryFirstText, kOkBox},
                 {window, kHintCaption, kQueryFirstText, kOkBox},
                 {window, kHintCaption, kNothingInstalledText, kOkBox});

    Command(g_controlList, LBN_SELCHANGE);
    Command(window, BN_CLICKED);
    EXPECT_BOXES();
    QueueBoxAnswer(IDNO);
    Command(g_controlList, LBN_DBLCLK);
    EXPECT_BOX(window, kHintCaption, kUninstallOneQuestion, kYesNoBox);
}

static COLORREF PixelAfterDraw(HWND window, HWND button, UINT state, COLORREF *caption, Caller = {})
{
    Canvas canvas = MakeCanvas(100, 50, RGB(0, 255, 0));
    HDC dc = canvas.dc;
    SendMessageW(window, WM_CTLCOLORBTN, (WPARAM)dc, (LPARAM)button);
    SendDrawItem(window, button, state, dc, 100, 50);
    COLORREF face = GetPixel(dc, 5, 5);
    // The edge strips stay as they were.
    EXPECT_EQ(RGB(0, 255, 0), GetPixel(dc, 0, 10));
    EXPECT_EQ(RGB(0, 255, 0), GetPixel(dc, 10, 0));
    // The caption is white and centred: count near-white (anti-aliased) pixels in each half.
    int left = 0, right = 0;
    for (int y = 0; y < 50; y++) {
        for (int x = 0; x < 100; x++) {
            COLORREF c = GetPixel(dc, x, y);
            if (GetRValue(c) > 200 && GetGValue(c) > 200 && GetBValue(c) > 200)
                (x < 50 ? left : right)++;
        }
    }
    *caption = (left > 10 && right > 10 && abs(left - right) < (left + right) / 3)
                   ? RGB(255, 255, 255)
                   : RGB(0, 0, 0);
    FreeCanvas(canvas);
    return face;
}

TEST_F(MainWindowTest, ButtonsArePaintedPressedAndReleased)
{
    for (HWND button : {g_queryButton, g_uninstallAllButton, g_downloadButton}) {
        COLORREF caption;
        EXPECT_EQ(RGB(126, 3, 6), PixelAfterDraw(window, button, ODS_SELECTED, &caption));
        EXPECT_EQ(RGB(255, 255, 255), caption);
        EXPECT_EQ(RGB(100, 3, 6), PixelAfterDraw(window, button, 0, &caption));
        EXPECT_EQ(RGB(255, 255, 255), caption);
    }
}

static void ExpectFont(HDC dc, int height, Caller = {})
{
    LOGFONTW font = {};
    GetObjectW(GetCurrentObject(dc, OBJ_FONT), sizeof(font), &font);
    EXPECT_EQ(height, font.lfHeight);
    EXPECT_EQ(134, font.lfCharSet);
    EXPECT_STREQ(L"宋体", font.lfFaceName);
}

TEST_F(MainWindowTest, ColourMessagesSetFontsAndColours)
{
    HDC dc = CreateCompatibleDC(NULL);
    EXPECT_EQ(0, SendMessageW(window, WM_CTLCOLOREDIT, (WPARAM)dc, (LPARAM)g_pathEdit));
    ExpectFont(dc, 16);
    EXPECT_EQ(RGB(0, 0, 255), GetTextColor(dc));

    HBRUSH brush =
        (HBRUSH)SendMessageW(window, WM_CTLCOLORLISTBOX, (WPARAM)dc, (LPARAM)g_controlList);
    ASSERT_NE((HBRUSH)NULL, brush);
    LOGBRUSH lb = {};
    GetObjectW(brush, sizeof(lb), &lb);
    EXPECT_EQ((UINT)BS_SOLID, lb.lbStyle);
    EXPECT_EQ(RGB(255, 255, 255), lb.lbColor);
    EXPECT_EQ(TRANSPARENT, GetBkMode(dc));
    ExpectFont(dc, 25);

    EXPECT_EQ(0, SendMessageW(window, WM_CTLCOLORBTN, (WPARAM)dc, (LPARAM)g_queryButton));
    ExpectFont(dc, 14);
    SelectObject(dc, GetStockObject(SYSTEM_FONT));
    DeleteDC(dc);
}

// ---- drawing objects, windows and handles ------------------------------------

static BOOL CALLBACK CountWindow(HWND window, LPARAM count)
{
    (*(int *)count)++;
    EnumChildWindows(window, CountWindow, count);
    return TRUE;
}

// Windows of this thread with all their children. Wine's USER counters
// answer 0, so the windows themselves are counted.
static int ThreadWindows()
{
    int count = 0;
    EnumThreadWindows(GetCurrentThreadId(), CountWindow, (LPARAM)&count);
    return count;
}

// Paints both pages, the children's colours, both kinds of owner-drawn button
// held and released, the title bar, a query and a refused drop; every 50th
// round also the information box and a real registration.
static void FlatRound(HWND window, HDC dc, int i, const std::vector<std::wstring> &refused,
                      const std::wstring &control, int family, Caller = {})
{
    HWND bar = FindWindowExW(window, NULL, L"TitleBar", NULL);
    g_page = i % 2 ? 1 : 2;
    Repaint(window);
    SendMessageW(window, WM_CTLCOLOREDIT, (WPARAM)dc, (LPARAM)g_pathEdit);
    SendMessageW(window, WM_CTLCOLORLISTBOX, (WPARAM)dc, (LPARAM)g_controlList);
    SendMessageW(window, WM_CTLCOLORBTN, (WPARAM)dc, (LPARAM)g_queryButton);
    SendDrawItem(window, g_queryButton, i % 2 ? ODS_SELECTED : 0, dc, 100, 50);
    for (HWND button : {g_closeButton, g_minimizeButton}) {
        SendMessageW(button, BM_SETSTATE, TRUE, 0);
        SendMessageW(button, BM_SETSTATE, FALSE, 0);
        SendDrawItem(bar, button, ODS_SELECTED, dc, 16, 16);
        SendDrawItem(bar, button, 0, dc, 16, 16);
    }
    ASSERT_EQ(family, QueryInstalledControls());
    SendDrop(window, {refused[i % refused.size()]});
    if (i % 50 == 0) {
        SendMessageW(g_controlList, LB_SETCURSEL, i % 10, 0);
        SendMessageW(window, WM_CONTEXTMENU, (WPARAM)g_controlList, MAKELPARAM(300, 300));
        SendDrop(window, {control});
        EXPECT_EQ(L"拖入文件路径：" + control + L"\r\n注册状态：文件注册成功！",
                  WindowText(g_infoEdit));
    }
}

// Wine reports no GDI counts, so the tool's own creations and deletions are counted.
TEST_F(MainWindowTest, DrawingObjectsWindowsAndHandlesStayFlatOverPaintsQueriesAndDrops)
{
    const int rounds = LoadSize(1000);
    std::wstring scratch = MakeScratchDir(L"flat");
    std::wstring control = scratch + L"\\flat.ocx";
    ASSERT_TRUE(CopyFileW(TestServerPath().c_str(), control.c_str(), FALSE));
    for (int i = 0; i < 10; i++)
        SetDefaultValue(HKEY_CLASSES_ROOT, L"ORVI.Flat" + std::to_wstring(i) + L"\\CLSID",
                        L"{00000000-0000-0000-0000-000000000000}");
    std::vector<std::wstring> refused = {scratch + L"\\notes.txt", scratch + L"\\UPPER.OCX",
                                         scratch + L"\\" + std::wstring(3990, L'x') + L".ocx"};

    StartCountingGdiObjects();
    // What lives as long as the process (the class brushes) is made by a first window.
    CloseMainWindow(window);
    CloseMainWindow(StartMainWindow());
    long gdiBase = LiveGdiObjects();
    HBRUSH probe = CreateSolidBrush(RGB(1, 2, 3));
    ASSERT_EQ(gdiBase + 1, LiveGdiObjects()) << "the counter must see creations";
    DeleteObject(probe);
    ASSERT_EQ(gdiBase, LiveGdiObjects());
    int windowBase = ThreadWindows();
    window = StartMainWindow();
    ASSERT_GT(ThreadWindows(), windowBase) << "the window count must see the main window";
    // What the window makes for its children goes with it.
    ASSERT_GT(LiveGdiObjects(), gdiBase);
    StartWatchingCalls();
    Canvas canvas = MakeCanvas(100, 50, RGB(0, 255, 0));

    // One round of everything first: what is made once and kept is not a leak.
    SendDrop(window, {control});
    FlatRound(window, canvas.dc, 0, refused, control,
              11); // the ten and the registered test control
    TakeBoxes();
    ASSERT_EQ(11u, ListEntries().size());
    long gdi = LiveGdiObjects();
    int windows = ThreadWindows();
    HANDLE handle = FreshHandle();

    for (int i = 0; i < rounds; i++)
        FlatRound(window, canvas.dc, i, refused, control, 11);
    EXPECT_EQ((size_t)rounds / 50, TakeBoxes().size());
    EXPECT_EQ(gdi, LiveGdiObjects());
    EXPECT_EQ(windows, ThreadWindows());
    EXPECT_EQ(handle, FreshHandle());
    EXPECT_EQ(0, KeysLeftOpen());

    FreeCanvas(canvas);
    g_page = 1;
    CloseMainWindow(window);
    window = NULL;
    EXPECT_EQ(gdiBase, LiveGdiObjects());
    EXPECT_EQ(windowBase, ThreadWindows());
    UnregisterControlFile(control.c_str());
    RemoveTree(scratch);
}

static UINT_PTR g_closeTimer, g_failsafeTimer;

static void CALLBACK CloseFromTimer(HWND, UINT, UINT_PTR, DWORD)
{
    KillTimer(NULL, g_closeTimer);
    PostMessageW(FindWindowW(L"window", NULL), WM_CLOSE, 0, 0);
}

static void CALLBACK Failsafe(HWND, UINT, UINT_PTR, DWORD)
{
    KillTimer(NULL, g_failsafeTimer);
    PostQuitMessage(99);
}

TEST(Startup, ClosingTheWindowEndsTheLoopWithZero)
{
    g_closeTimer = SetTimer(NULL, 0, 300, CloseFromTimer);
    g_failsafeTimer = SetTimer(NULL, 0, 20000, Failsafe);
    int result = RunMainWindow(GetModuleHandleW(NULL));
    KillTimer(NULL, g_failsafeTimer);
    EXPECT_EQ(0, result);
    EXPECT_EQ(NULL, FindWindowW(L"window", NULL));
}
