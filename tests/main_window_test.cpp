// The main window: start-up page, page switching, routing of commands by
// sender, colours and fonts of the children, and drawing objects.
#include "support/test_support.h"

#include "app/app.h"

#include <gtest/gtest.h>

class MainWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        StartAnsweringBoxes();
        RemoveFamilyKeys();
        window = StartMainWindow();
        ASSERT_TRUE(IsWindow(window));
    }
    void TearDown() override
    {
        CloseMainWindow(window);
        StopAnsweringBoxes();
    }
    HWND window = NULL;
};

static void ExpectRegisterPage(bool registerPage)
{
    EXPECT_EQ(registerPage, IsWindowVisible(g_pathEdit) != 0);
    EXPECT_EQ(registerPage, IsWindowVisible(g_infoEdit) != 0);
    EXPECT_EQ(!registerPage, IsWindowVisible(g_controlList) != 0);
    EXPECT_EQ(!registerPage, IsWindowVisible(g_queryButton) != 0);
    EXPECT_EQ(!registerPage, IsWindowVisible(g_uninstallAllButton) != 0);
    EXPECT_EQ(!registerPage, IsWindowVisible(g_downloadButton) != 0);
}

TEST_F(MainWindow, FirstPaintShowsRegisterPage)
{
    EXPECT_EQ(1, g_page);
    ExpectRegisterPage(true);
    RECT r;
    GetWindowRect(window, &r);
    EXPECT_EQ(700, r.right - r.left);
    EXPECT_EQ(500, r.bottom - r.top);
    EXPECT_EQ(0, GetWindowLongW(window, GWL_STYLE) & WS_CAPTION & ~WS_BORDER);
}

TEST_F(MainWindow, PageFollowsModeOnlyWhenRepainted)
{
    g_page = 2;
    PumpMessages(50);
    ExpectRegisterPage(true); // no invalidation, nothing changes
    Repaint(window);
    ExpectRegisterPage(false);
    g_page = 7; // any value but 1 is the Uninstall page
    Repaint(window);
    ExpectRegisterPage(false);
    g_page = 1;
    Repaint(window);
    ExpectRegisterPage(true);
}

TEST_F(MainWindow, ChildrenKeepEntryOrderAndAcceptTyping)
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
TEST_F(MainWindow, CommandsAreRoutedBySenderHandle)
{
    SendMessageW(window, WM_COMMAND, MAKEWPARAM(0, BN_CLICKED), (LPARAM)g_uninstallAllButton);
    SendMessageW(window, WM_COMMAND, MAKEWPARAM(0, BN_SETFOCUS), (LPARAM)g_downloadButton);
    SendMessageW(window, WM_COMMAND, MAKEWPARAM(0, 1234), (LPARAM)g_queryButton);
    std::vector<BoxRecord> boxes = TakeBoxes();
    ASSERT_EQ(3u, boxes.size());
    EXPECT_EQ(L"请点击查询安装按钮！", boxes[0].text);
    EXPECT_EQ(L"请点击查询安装按钮！", boxes[1].text);
    EXPECT_EQ(L"当前电脑没有安装控件！", boxes[2].text);
    for (const BoxRecord &b : boxes) {
        EXPECT_EQ(window, b.owner);
        EXPECT_EQ(L"提示", b.caption);
    }

    SendMessageW(window, WM_COMMAND, MAKEWPARAM(0, LBN_SELCHANGE), (LPARAM)g_controlList);
    SendMessageW(window, WM_COMMAND, MAKEWPARAM(0, BN_CLICKED), (LPARAM)window);
    EXPECT_TRUE(TakeBoxes().empty());
    QueueBoxAnswer(IDNO);
    SendMessageW(window, WM_COMMAND, MAKEWPARAM(0, LBN_DBLCLK), (LPARAM)g_controlList);
    boxes = TakeBoxes();
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ(L"   是否卸载？", boxes[0].text);
}

static COLORREF PixelAfterDraw(HWND window, HWND button, UINT state, COLORREF *caption)
{
    HDC screen = GetDC(NULL);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, 100, 50);
    HGDIOBJ old = SelectObject(dc, bitmap);
    RECT all = {0, 0, 100, 50};
    HBRUSH green = CreateSolidBrush(RGB(0, 255, 0));
    FillRect(dc, &all, green);
    DeleteObject(green);
    SendMessageW(window, WM_CTLCOLORBTN, (WPARAM)dc, (LPARAM)button);
    DRAWITEMSTRUCT item = {};
    item.CtlType = ODT_BUTTON;
    item.itemAction = ODA_DRAWENTIRE;
    item.itemState = state;
    item.hwndItem = button;
    item.hDC = dc;
    item.rcItem = all;
    SendMessageW(window, WM_DRAWITEM, 0, (LPARAM)&item);
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
    *caption = (left > 10 && right > 10 && abs(left - right) < (left + right) / 3) ? RGB(255, 255, 255)
                                                                                  : RGB(0, 0, 0);
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
    ReleaseDC(NULL, screen);
    return face;
}

TEST_F(MainWindow, ButtonsArePaintedPressedAndReleased)
{
    for (HWND button : {g_queryButton, g_uninstallAllButton, g_downloadButton}) {
        COLORREF caption;
        EXPECT_EQ(RGB(126, 3, 6), PixelAfterDraw(window, button, ODS_SELECTED, &caption));
        EXPECT_EQ(RGB(255, 255, 255), caption);
        EXPECT_EQ(RGB(100, 3, 6), PixelAfterDraw(window, button, 0, &caption));
        EXPECT_EQ(RGB(255, 255, 255), caption);
    }
}

static void ExpectFont(HDC dc, int height)
{
    LOGFONTW font = {};
    GetObjectW(GetCurrentObject(dc, OBJ_FONT), sizeof(font), &font);
    EXPECT_EQ(height, font.lfHeight);
    EXPECT_EQ(134, font.lfCharSet);
    EXPECT_STREQ(L"宋体", font.lfFaceName);
}

TEST_F(MainWindow, ColourMessagesSetFontsAndColours)
{
    HDC dc = CreateCompatibleDC(NULL);
    EXPECT_EQ(0, SendMessageW(window, WM_CTLCOLOREDIT, (WPARAM)dc, (LPARAM)g_pathEdit));
    ExpectFont(dc, 16);
    EXPECT_EQ(RGB(0, 0, 255), GetTextColor(dc));

    HBRUSH brush = (HBRUSH)SendMessageW(window, WM_CTLCOLORLISTBOX, (WPARAM)dc, (LPARAM)g_controlList);
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

// Wine reports no GDI counts, so the tool's own creations and deletions are counted.
TEST_F(MainWindow, DrawingObjectsDoNotPileUp)
{
    StartCountingGdiObjects();
    long before = LiveGdiObjects();
    HBRUSH probe = CreateSolidBrush(RGB(1, 2, 3));
    ASSERT_EQ(before + 1, LiveGdiObjects()) << "the counter must see creations";
    DeleteObject(probe);
    ASSERT_EQ(before, LiveGdiObjects());

    // A window made while counting: what it makes for its children goes with it.
    CloseMainWindow(window);
    window = StartMainWindow();
    long withWindow = LiveGdiObjects();
    EXPECT_GT(withWindow, before);

    HDC dc = CreateCompatibleDC(NULL);
    for (int i = 0; i < 200; i++) {
        g_page = i % 2 ? 1 : 2;
        Repaint(window);
        SendMessageW(window, WM_CTLCOLOREDIT, (WPARAM)dc, (LPARAM)g_pathEdit);
        SendMessageW(window, WM_CTLCOLORLISTBOX, (WPARAM)dc, (LPARAM)g_controlList);
        SendMessageW(window, WM_CTLCOLORBTN, (WPARAM)dc, (LPARAM)g_queryButton);
        COLORREF caption;
        PixelAfterDraw(window, g_queryButton, i % 2 ? ODS_SELECTED : 0, &caption);
    }
    SelectObject(dc, GetStockObject(SYSTEM_FONT));
    DeleteDC(dc);
    EXPECT_EQ(withWindow, LiveGdiObjects());
    g_page = 1;
    CloseMainWindow(window);
    EXPECT_EQ(before, LiveGdiObjects());
    window = StartMainWindow();
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
