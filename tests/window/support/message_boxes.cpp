// Answers real message boxes from a WH_CBT hook on the test thread.
#include "window/support/window_support.h"

#include <deque>

static HHOOK g_boxHook;
static std::deque<int> g_answers;
static std::vector<BoxRecord> g_boxes;
static void (*g_boxCallback)(HWND box);
static HWND g_openBox;

const int kMessageTextId = 0xFFFF; // the static text of a message box
const int kMessageIconId = 0x0440; // its icon control

static bool IsDialog(HWND window)
{
    wchar_t cls[32] = {};
    GetClassNameW(window, cls, 32);
    return lstrcmpW(cls, L"#32770") == 0;
}

static LRESULT CALLBACK BoxHook(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_ACTIVATE && IsDialog((HWND)wParam)) {
        HWND box = (HWND)wParam;
        BoxRecord r = {};
        r.owner = GetWindow(box, GW_OWNER);
        r.caption = WindowText(box);
        r.text = WindowText(GetDlgItem(box, kMessageTextId));
        r.hasOk = GetDlgItem(box, IDOK) != NULL;
        r.hasYes = GetDlgItem(box, IDYES) != NULL;
        r.hasNo = GetDlgItem(box, IDNO) != NULL;
        r.hasCancel = GetDlgItem(box, IDCANCEL) != NULL;
        HWND icon = GetDlgItem(box, kMessageIconId);
        r.hasIcon = icon && IsWindowVisible(icon) && SendMessageW(icon, STM_GETICON, 0, 0) != 0;
        int answer = r.hasOk ? IDOK : IDNO;
        if (!g_answers.empty()) {
            answer = g_answers.front();
            g_answers.pop_front();
        }
        r.answer = answer;
        g_boxes.push_back(r);
        g_openBox = box;
        if (g_boxCallback)
            g_boxCallback(box);
        // Pressed once the box's own modal loop runs.
        PostMessageW(box, WM_COMMAND, MAKEWPARAM(answer, BN_CLICKED),
                     (LPARAM)GetDlgItem(box, answer));
    }
    if (code == HCBT_DESTROYWND && (HWND)wParam == g_openBox)
        g_openBox = NULL;
    return CallNextHookEx(g_boxHook, code, wParam, lParam);
}

void SetBoxCallback(void (*callback)(HWND box))
{
    g_boxCallback = callback;
}

bool BoxIsOpen()
{
    return g_openBox != NULL;
}

void StartAnsweringBoxes()
{
    g_answers.clear();
    g_boxes.clear();
    g_boxCallback = NULL;
    g_openBox = NULL;
    if (!g_boxHook)
        g_boxHook = SetWindowsHookExW(WH_CBT, BoxHook, NULL, GetCurrentThreadId());
}

void StopAnsweringBoxes()
{
    if (g_boxHook)
        UnhookWindowsHookEx(g_boxHook);
    g_boxHook = NULL;
}

void QueueBoxAnswer(int id)
{
    g_answers.push_back(id);
}

std::vector<BoxRecord> TakeBoxes()
{
    std::vector<BoxRecord> boxes;
    boxes.swap(g_boxes);
    return boxes;
}

void ExpectBoxes(const std::vector<ExpectedBox> &expected, Caller)
{
    std::vector<BoxRecord> boxes = TakeBoxes();
    ASSERT_EQ(expected.size(), boxes.size());
    for (size_t i = 0; i < boxes.size(); i++) {
        SCOPED_TRACE(::testing::Message() << "box " << i);
        const BoxRecord &box = boxes[i];
        EXPECT_EQ(expected[i].owner, box.owner);
        EXPECT_EQ(expected[i].caption, box.caption);
        EXPECT_EQ(expected[i].text, box.text);
        bool yesNo = expected[i].buttons == kYesNoBox;
        EXPECT_EQ(!yesNo, box.hasOk);
        EXPECT_EQ(yesNo, box.hasYes);
        EXPECT_EQ(yesNo, box.hasNo);
        EXPECT_FALSE(box.hasCancel);
        EXPECT_FALSE(box.hasIcon);
    }
}
