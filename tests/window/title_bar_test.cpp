// The title bar: presses on the strip, the window buttons' drawing and
// commands, and page switching through the main window. Its drawing objects
// are counted with the main window's (main_window_test.cpp). The press
// rule's own test, which tests/native also builds for Linux, runs here too.
#include "window/support/window_support.h"

#include "app/app.h"
#include "native/title_bar_hit_test.cpp"
#include "native/title_bar_press_table.h"

#include <gtest/gtest.h>

namespace {

const COLORREF kWhite = RGB(255, 255, 255);
const COLORREF kBlack = RGB(0, 0, 0);
const COLORREF kUntouched = RGB(0, 255, 0);

// What the stand-in main window saw. It answers WM_NCLBUTTONDOWN itself, so
// no move loop starts, and it keeps WM_CLOSE from destroying it.
struct ParentLog {
    int drags;
    WPARAM dragHit;
    LPARAM dragPosition;
    int pageAtDrag;
    BOOL invalidAtDrag;
    int closes;
};
ParentLog g_log;

LRESULT CALLBACK StandInProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_NCLBUTTONDOWN: {
        RECT r;
        g_log.drags++;
        g_log.dragHit = wParam;
        g_log.dragPosition = lParam;
        g_log.pageAtDrag = g_page;
        g_log.invalidAtDrag = GetUpdateRect(window, &r, FALSE);
        return 0;
    }
    case WM_CLOSE:
        g_log.closes++;
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

HWND TitleBarOf(HWND parent)
{
    return FindWindowExW(parent, NULL, L"TitleBar", NULL);
}

// A title bar on a parent laid out as the main window: a bordered 700 x 500 popup.
class TitleBarOnStandIn : public ::testing::Test {
protected:
    HWND parent = NULL;
    HWND bar = NULL;

    void SetUp() override
    {
        StartAnsweringBoxes();
        HINSTANCE instance = GetModuleHandleW(NULL);
        static bool registered = false;
        if (!registered) {
            WNDCLASSW wc = {};
            wc.lpfnWndProc = StandInProc;
            wc.hInstance = instance;
            wc.hbrBackground = (HBRUSH)GetStockObject(BLACK_BRUSH);
            wc.lpszClassName = L"TitleBarStandIn";
            RegisterClassW(&wc);
            RegisterTitleBarClass();
            registered = true;
        }
        parent = CreateWindowExW(0, L"TitleBarStandIn", L"", WS_POPUP | WS_BORDER, 200, 100, 700,
                                 500, NULL, NULL, instance, NULL);
        ASSERT_TRUE(parent);
        RECT client;
        GetClientRect(parent, &client);
        bar = CreateWindowExW(0, L"TitleBar", L"", WS_CHILD | WS_VISIBLE, 0, 0, client.right, 85,
                              parent, NULL, instance, NULL);
        ASSERT_TRUE(bar);
        ShowWindow(parent, SW_SHOWNORMAL);
        UpdateWindow(parent);
        PumpMessages(50);
    }

    void TearDown() override
    {
        DestroyWindow(parent);
        PumpMessages(20);
        g_page = 1;
        StopAnsweringBoxes();
    }

    // Both windows painted and nothing recorded yet.
    void Settle(int page)
    {
        g_page = page;
        PumpMessages(20);
        ValidateRect(parent, NULL);
        ValidateRect(bar, NULL);
        g_log = ParentLog();
    }
};

// Every row of the press table is checked on PressTitleBar natively
// (native/title_bar_hit_test.cpp); what the window does with a press depends
// on its outcome alone, so the first row of each outcome shows it here.
bool SameOutcome(const PressRow &a, const PressRow &b)
{
    return (a.pageBefore != a.pageAfter) == (b.pageBefore != b.pageAfter) &&
           a.repaints == b.repaints && a.drag == b.drag;
}

bool FirstOfItsOutcome(const PressRow &row)
{
    for (const PressRow &earlier : kPressTable) {
        if (&earlier == &row)
            return true;
        if (SameOutcome(earlier, row))
            return false;
    }
    return false;
}

TEST_F(TitleBarOnStandIn, EachPressOutcomeIsCarriedOut)
{
    RECT barClient, parentClient;
    GetClientRect(bar, &barClient);
    GetClientRect(parent, &parentClient);
    int outcomes = 0;
    for (const PressRow &row : kPressTable) {
        if (!FirstOfItsOutcome(row))
            continue;
        outcomes++;
        SCOPED_TRACE(row.where);
        Settle(row.pageBefore);
        SendMessageW(bar, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(row.x, row.y));

        EXPECT_EQ(row.pageAfter, g_page);
        RECT barDirty = {}, parentDirty = {};
        BOOL barInvalid = GetUpdateRect(bar, &barDirty, FALSE);
        BOOL parentInvalid = GetUpdateRect(parent, &parentDirty, FALSE);
        EXPECT_EQ(row.repaints > 0, barInvalid != FALSE);
        EXPECT_EQ(row.repaints > 0, parentInvalid != FALSE);
        if (row.repaints > 0) {
            // The tab strip of the bar and the page area below it.
            EXPECT_EQ(30, barDirty.top);
            EXPECT_EQ(barClient.right, barDirty.right);
            EXPECT_EQ(barClient.bottom, barDirty.bottom);
            EXPECT_EQ(80, parentDirty.top);
            EXPECT_EQ(parentClient.right, parentDirty.right);
            EXPECT_EQ(parentClient.bottom, parentDirty.bottom);
        }
        EXPECT_EQ(row.drag ? 1 : 0, g_log.drags);
        if (row.drag) {
            EXPECT_EQ((WPARAM)HTCAPTION, g_log.dragHit);
            EXPECT_EQ(0, g_log.dragPosition);
            // The page is chosen and the repaint asked for before the drag.
            EXPECT_EQ(row.pageAfter, g_log.pageAtDrag);
            EXPECT_EQ(row.repaints > 0, g_log.invalidAtDrag != FALSE);
        }
        EXPECT_EQ(0, g_log.closes);
    }
    // Drag alone, nothing, and each mix of page change, repaints and drag.
    EXPECT_EQ(7, outcomes);
}

TEST_F(TitleBarOnStandIn, ButtonsSitAtTheRightEndOfTheBar)
{
    RECT client;
    GetClientRect(parent, &client);
    struct {
        HWND button;
        int left;
    } buttons[] = {{g_closeButton, client.right - 25}, {g_minimizeButton, client.right - 60}};
    for (auto &b : buttons) {
        ASSERT_EQ(bar, GetParent(b.button));
        RECT r;
        GetWindowRect(b.button, &r);
        MapWindowPoints(NULL, bar, (POINT *)&r, 2);
        EXPECT_EQ(b.left, r.left);
        EXPECT_EQ(5, r.top);
        EXPECT_EQ(16, r.right - r.left);
        EXPECT_EQ(16, r.bottom - r.top);
        EXPECT_EQ(0, GetDlgCtrlID(b.button));
        EXPECT_EQ(BS_OWNERDRAW, GetWindowLongW(b.button, GWL_STYLE) & BS_TYPEMASK);
    }
}

// Reads a pixel of the bar as it is on the screen.
COLORREF BarPixel(HWND bar, int x, int y)
{
    HDC dc = GetDC(bar);
    COLORREF c = GetPixel(dc, x, y);
    ReleaseDC(bar, dc);
    return c;
}

// Text pixels: both backgrounds have almost no green.
int LightPixels(HWND bar, int left, int top, int width, int height)
{
    HDC dc = GetDC(bar);
    int n = 0;
    for (int x = left; x < left + width; x++)
        for (int y = top; y < top + height; y++)
            n += GetGValue(GetPixel(dc, x, y)) > 128;
    ReleaseDC(bar, dc);
    return n;
}

TEST_F(TitleBarOnStandIn, SelectedTabIsFilledInThePageColour)
{
    Settle(1);
    RedrawWindow(bar, NULL, NULL, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    EXPECT_EQ(kPageColour, BarPixel(bar, 10, 41));
    EXPECT_EQ(kPageColour, BarPixel(bar, 80, 84));
    EXPECT_EQ(kHighlightColour, BarPixel(bar, 10, 40));
    EXPECT_EQ(kHighlightColour, BarPixel(bar, 85, 60)); // the fills leave column 85 out
    EXPECT_EQ(kHighlightColour, BarPixel(bar, 100, 60));
    EXPECT_EQ(kHighlightColour, BarPixel(bar, 9, 60));

    g_page = 2;
    RedrawWindow(bar, NULL, NULL, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    EXPECT_EQ(kPageColour, BarPixel(bar, 86, 41));
    EXPECT_EQ(kPageColour, BarPixel(bar, 155, 84));
    EXPECT_EQ(kHighlightColour, BarPixel(bar, 85, 60));
    EXPECT_EQ(kHighlightColour, BarPixel(bar, 160, 60));
    EXPECT_EQ(kHighlightColour, BarPixel(bar, 20, 60));

    // The caption and both labels are drawn in light ink, over the fill too.
    EXPECT_GT(LightPixels(bar, 5, 5, 64, 16), 20);
    EXPECT_GT(LightPixels(bar, 29, 54, 32, 16), 20);
    EXPECT_GT(LightPixels(bar, 105, 54, 32, 16), 20);
    EXPECT_EQ(0, LightPixels(bar, 170, 40, 300, 40));
}

// Points of the 16 x 16 glyphs: on the cross, on the bar, on neither.
struct GlyphPoint {
    int x, y;
    bool onCross, onBar;
};
const GlyphPoint kGlyphPoints[] = {
    {8, 8, true, false},  {2, 2, true, false},   {13, 2, true, false}, {8, 9, false, true},
    {3, 9, false, true},  {14, 10, false, true}, {0, 0, false, false}, {15, 15, false, false},
    {8, 3, false, false}, {0, 9, false, false},
};

TEST_F(TitleBarOnStandIn, ButtonsDrawWhiteGlyphsReleasedAndBlackHeld)
{
    struct {
        const char *name;
        HWND button;
        bool cross;
    } buttons[] = {{"close", g_closeButton, true}, {"minimise", g_minimizeButton, false}};
    for (auto &b : buttons) {
        for (UINT state :
             {0u, (UINT)ODS_SELECTED, (UINT)(ODS_SELECTED | ODS_FOCUS), (UINT)ODS_FOCUS}) {
            SCOPED_TRACE(testing::Message() << b.name << " state " << state);
            // An 18 x 18 canvas shows that exactly the item's 16 x 16 pixels are drawn.
            Canvas canvas = MakeCanvas(18, 18, kUntouched);
            SendDrawItem(bar, b.button, state, canvas.dc, 16, 16);
            COLORREF glyph = (state & ODS_SELECTED) ? kBlack : kWhite;
            for (const GlyphPoint &p : kGlyphPoints) {
                SCOPED_TRACE(testing::Message() << "at " << p.x << "," << p.y);
                bool on = b.cross ? p.onCross : p.onBar;
                EXPECT_EQ(on ? glyph : kHighlightColour, GetPixel(canvas.dc, p.x, p.y));
            }
            EXPECT_EQ(kUntouched, GetPixel(canvas.dc, 16, 8));
            EXPECT_EQ(kUntouched, GetPixel(canvas.dc, 8, 16));
            FreeCanvas(canvas);
        }
    }
}

TEST_F(TitleBarOnStandIn, HoldingAButtonDownShowsTheBlackGlyph)
{
    struct {
        HWND button;
        int x, y;
    } buttons[] = {{g_closeButton, 8, 8}, {g_minimizeButton, 8, 9}};
    for (auto &b : buttons) {
        // The button asks its parent to draw it, on its own device context.
        SendMessageW(b.button, BM_SETSTATE, TRUE, 0);
        UpdateWindow(b.button);
        EXPECT_EQ(kBlack, BarPixel(b.button, b.x, b.y));
        EXPECT_EQ(kHighlightColour, BarPixel(b.button, 0, 0));
        SendMessageW(b.button, BM_SETSTATE, FALSE, 0);
        UpdateWindow(b.button);
        EXPECT_EQ(kWhite, BarPixel(b.button, b.x, b.y));
    }
    EXPECT_EQ(0, g_log.closes);
}

TEST_F(TitleBarOnStandIn, CommandsAreToldApartBySenderOnly)
{
    Settle(1);
    SendMessageW(bar, WM_COMMAND, MAKEWPARAM(0, BN_CLICKED), (LPARAM)g_minimizeButton);
    EXPECT_EQ(0, g_log.closes);
    EXPECT_TRUE(IsIconic(parent));
    ShowWindow(parent, SW_RESTORE);

    // The sender's handle counts, not the control identifier in wParam.
    SendMessageW(bar, WM_COMMAND, MAKEWPARAM(0, BN_CLICKED), (LPARAM)bar);
    SendMessageW(bar, WM_COMMAND, MAKEWPARAM(0, 0), 0);
    EXPECT_EQ(0, g_log.closes);
    EXPECT_FALSE(IsIconic(parent));
    SendMessageW(bar, WM_COMMAND, MAKEWPARAM(0, 0xFFFF), (LPARAM)g_closeButton);
    EXPECT_EQ(1, g_log.closes);
    EXPECT_FALSE(IsIconic(parent));
}

const WORD kNotifications[] = {BN_CLICKED,   BN_DOUBLECLICKED, BN_SETFOCUS,
                               BN_KILLFOCUS, 0x1234,           0xFFFF};

using TitleBarMainWindow = MainWindowTest;

TEST_F(TitleBarMainWindow, EveryCommandFromTheCloseButtonClosesIt)
{
    for (WORD code : kNotifications) {
        SCOPED_TRACE(code);
        SendMessageW(TitleBarOf(window), WM_COMMAND, MAKEWPARAM(0, code), (LPARAM)g_closeButton);
        EXPECT_FALSE(IsWindow(window));
        CloseMainWindow(window);
        window = StartMainWindow();
        ASSERT_TRUE(IsWindow(window));
    }
    // A real click on the button.
    SendMessageW(g_closeButton, BM_CLICK, 0, 0);
    PumpMessages(50);
    EXPECT_FALSE(IsWindow(window));
}

TEST_F(TitleBarMainWindow, EveryCommandFromTheMinimiseButtonMinimisesIt)
{
    for (WORD code : kNotifications) {
        SCOPED_TRACE(code);
        ShowWindow(window, SW_RESTORE);
        ASSERT_FALSE(IsIconic(window));
        SendMessageW(TitleBarOf(window), WM_COMMAND, MAKEWPARAM(0, code), (LPARAM)g_minimizeButton);
        EXPECT_TRUE(IsIconic(window));
        EXPECT_TRUE(IsWindow(window));
    }
    ShowWindow(window, SW_RESTORE);
    SendMessageW(g_minimizeButton, BM_CLICK, 0, 0);
    PumpMessages(50);
    EXPECT_TRUE(IsIconic(window));
}

// Ends a move loop that a press may have started, should the posted button
// release not reach it.
void CALLBACK EndMoveLoop(HWND, UINT, UINT_PTR, DWORD)
{
    PostThreadMessageW(GetCurrentThreadId(), WM_KEYDOWN, VK_ESCAPE, 0);
}

// Clicks the bar at x, y as the user does, button down and up.
void Click(HWND bar, int x, int y)
{
    PostMessageW(bar, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
    PostMessageW(bar, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
    UINT_PTR timer = SetTimer(NULL, 0, 2000, EndMoveLoop);
    PumpMessages(200);
    KillTimer(NULL, timer);
}

TEST_F(TitleBarMainWindow, TabClicksSwitchTheVisibleChildren)
{
    HWND bar = TitleBarOf(window);
    ASSERT_TRUE(bar);
    EXPECT_EQ(1, g_page);
    ExpectPageShown(1);

    Click(bar, 120, 60);
    EXPECT_EQ(2, g_page);
    ExpectPageShown(2);
    Click(bar, 120, 60);
    EXPECT_EQ(2, g_page);
    ExpectPageShown(2);
    Click(bar, 120, 20); // above the band: nothing happens
    EXPECT_EQ(2, g_page);
    ExpectPageShown(2);
    Click(bar, 40, 60); // the register tab, which also starts a drag
    EXPECT_EQ(1, g_page);
    ExpectPageShown(1);
    EXPECT_TRUE(IsWindow(window));
    Click(bar, 85, 60);
    EXPECT_EQ(2, g_page);
    ExpectPageShown(2);
}

} // namespace
