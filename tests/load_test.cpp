// Load on the real main window: 2,000 family controls listed and uninstalled
// in one go, and a thousand paints, queries and drops without drawing
// objects, windows or handles piling up. Each part is sized to stay within a
// few tens of seconds under wine64.
#include "support/test_support.h"

#include "app/app.h"
#include "controls/controls.h"
#include "register/register.h"

#include <gtest/gtest.h>

#include <set>
#include <stdio.h>

namespace {

const HKEY kCR = HKEY_CLASSES_ROOT;

void Command(HWND window, HWND sender, WORD code)
{
    SendMessageW(window, WM_COMMAND, MAKEWPARAM(0, code), (LPARAM)sender);
}

// ---- 2,000 controls -------------------------------------------------------------

// Reduced load sizes take a tenth.
const int kControls = LoadSizesReduced() ? 200 : 2000;
const int kRounds = LoadSizesReduced() ? 100 : 1000;

std::wstring LoadProgId(int i)
{
    wchar_t name[32];
    swprintf(name, 32, L"ORVI.Load%04d", i);
    return name;
}

// The class, type library and interface of control i differ in their first
// group only, as a control's own GUIDs often do; the last group tells the
// controls apart, so each pass matches the control's own keys alone.
std::wstring LoadGuid(const wchar_t *firstGroup, int i)
{
    wchar_t guid[40];
    swprintf(guid, 40, L"{%ls-1111-4222-8333-0000000%05d}", firstGroup, i);
    return guid;
}

std::vector<std::wstring> LoadKeys(int i)
{
    return {LoadProgId(i), L"CLSID\\" + LoadGuid(L"7D0AD000", i), L"TypeLib\\" + LoadGuid(L"7E0AD000", i),
            L"Interface\\" + LoadGuid(L"7F0AD000", i)};
}

void CreateKey(const std::wstring &path, const std::wstring &value)
{
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExW(kCR, path.c_str(), 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key, NULL));
    RegSetValueExW(key, NULL, 0, REG_SZ, (const BYTE *)value.c_str(),
                   (DWORD)((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
}

void RemoveLoadKeys()
{
    for (int i = 0; i < kControls; i++) {
        for (const std::wstring &key : LoadKeys(i))
            DeleteTree(kCR, key);
    }
}

TEST(Load, TwoThousandControlsAreListedAndAllUninstalled)
{
    StartAnsweringBoxes();
    RemoveFamilyKeys();
    RemoveLoadKeys();
    DWORD start = GetTickCount();
    for (int i = 0; i < kControls; i++) {
        std::wstring clsid = LoadGuid(L"7D0AD000", i);
        std::wstring typeLib = LoadGuid(L"7E0AD000", i);
        CreateKey(LoadProgId(i) + L"\\CLSID", clsid);
        CreateKey(L"CLSID\\" + clsid + L"\\TypeLib", typeLib);
        CreateKey(L"TypeLib\\" + typeLib + L"\\1.0", L"load test library");
        CreateKey(L"Interface\\" + LoadGuid(L"7F0AD000", i) + L"\\TypeLib", typeLib);
    }
    printf("registered %d controls in %lu ms\n", kControls, GetTickCount() - start);

    HWND window = StartMainWindow();
    start = GetTickCount();
    Command(window, g_queryButton, BN_CLICKED);
    printf("query in %lu ms\n", GetTickCount() - start);
    std::vector<std::wstring> entries = ListEntries();
    ASSERT_EQ((size_t)kControls, entries.size());
    std::set<std::wstring> listed(entries.begin(), entries.end());
    for (int i = 0; i < kControls; i++)
        ASSERT_EQ(1u, listed.count(LoadProgId(i))) << i;
    EXPECT_TRUE(TakeBoxes().empty());

    // Every removal waits for a run of regsvr32.exe and walks the Interface
    // key three times: this is the slowest test of the suite (minutes).
    start = GetTickCount();
    QueueBoxAnswer(IDYES);
    Command(window, g_uninstallAllButton, BN_CLICKED);
    printf("uninstall all in %lu ms\n", GetTickCount() - start);
    EXPECT_EQ(1u, TakeBoxes().size());
    EXPECT_TRUE(ListEntries().empty());
    EXPECT_TRUE(FamilyKeys().empty());
    int stray = 0;
    for (int i = 0; i < kControls; i++) {
        for (const std::wstring &key : LoadKeys(i)) {
            if (KeyExists(kCR, key) && stray++ < 5)
                ADD_FAILURE() << "left behind: " << std::string(key.begin(), key.end());
        }
    }
    EXPECT_EQ(0, stray);

    CloseMainWindow(window);
    RemoveLoadKeys();
    StopAnsweringBoxes();
}

// ---- objects and handles ---------------------------------------------------------------

BOOL CALLBACK CountWindow(HWND window, LPARAM count)
{
    (*(int *)count)++;
    EnumChildWindows(window, CountWindow, count);
    return TRUE;
}

// Windows of this thread with all their children. Wine's USER counters
// answer 0, so the windows themselves are counted.
int ThreadWindows()
{
    int count = 0;
    EnumThreadWindows(GetCurrentThreadId(), CountWindow, (LPARAM)&count);
    return count;
}

// Wine hands out the lowest free handle slot: any handle left open pushes a
// fresh one's value up.
HANDLE FreshHandle()
{
    HANDLE event = CreateEventW(NULL, FALSE, FALSE, NULL);
    CloseHandle(event);
    return event;
}

TEST(Load, ObjectsWindowsAndHandlesStayFlatOverAThousandPaintsQueriesAndDrops)
{
    StartAnsweringBoxes();
    RemoveFamilyKeys();
    std::wstring scratch = MakeScratchDir(L"load flat");
    std::wstring control = scratch + L"\\flat.ocx";
    ASSERT_TRUE(CopyFileW(TestServerPath().c_str(), control.c_str(), FALSE));
    for (int i = 0; i < 10; i++)
        SetDefaultValue(kCR, L"ORVI.Flat" + std::to_wstring(i) + L"\\CLSID", L"{00000000-0000-0000-0000-000000000000}");
    std::vector<std::wstring> refused = {scratch + L"\\notes.txt", scratch + L"\\UPPER.OCX",
                                         scratch + L"\\" + std::wstring(3990, L'x') + L".ocx"};

    StartCountingGdiObjects();
    long gdiBase = LiveGdiObjects();
    HBRUSH probe = CreateSolidBrush(RGB(1, 2, 3));
    ASSERT_EQ(gdiBase + 1, LiveGdiObjects()) << "the counter must see creations";
    DeleteObject(probe);
    int windowBase = ThreadWindows();
    HWND window = StartMainWindow();
    ASSERT_GT(ThreadWindows(), windowBase) << "the window count must see the main window";
    ASSERT_GT(LiveGdiObjects(), gdiBase);
    StartWatchingCalls();

    // One round of everything first: what is made once and kept is not a leak.
    Repaint(window);
    QueryInstalledControls();
    SendDrop(window, {control});
    SendMessageW(g_controlList, LB_SETCURSEL, 0, 0);
    SendMessageW(window, WM_CONTEXTMENU, (WPARAM)g_controlList, MAKELPARAM(300, 300));
    TakeBoxes();
    const int family = (int)FamilyKeys().size(); // the ten and the registered test control
    ASSERT_EQ(11, family);
    long gdi = LiveGdiObjects();
    int windows = ThreadWindows();
    HANDLE handle = FreshHandle();

    DWORD start = GetTickCount();
    for (int i = 0; i < kRounds; i++) {
        g_page = i % 2 ? 1 : 2;
        Repaint(window);
        ASSERT_EQ(family, QueryInstalledControls());
        SendDrop(window, {refused[i % refused.size()]});
        // Every 50th round: a box (the information box) and a real registration.
        if (i % 50 == 0) {
            SendMessageW(g_controlList, LB_SETCURSEL, i % 10, 0);
            SendMessageW(window, WM_CONTEXTMENU, (WPARAM)g_controlList, MAKELPARAM(300, 300));
            SendDrop(window, {control});
            EXPECT_EQ(L"拖入文件路径：" + control + L"\r\n注册状态：文件注册成功！",
                      WindowText(g_infoEdit));
        }
    }
    printf("%d rounds in %lu ms\n", kRounds, GetTickCount() - start);
    EXPECT_EQ((size_t)kRounds / 50, TakeBoxes().size());
    EXPECT_EQ(gdi, LiveGdiObjects());
    EXPECT_EQ(windows, ThreadWindows());
    EXPECT_EQ(handle, FreshHandle());
    EXPECT_EQ(0, KeysLeftOpen());

    g_page = 1;
    CloseMainWindow(window);
    EXPECT_EQ(gdiBase, LiveGdiObjects());
    EXPECT_EQ(windowBase, ThreadWindows());
    UnregisterControlFile(control.c_str());
    RemoveFamilyKeys();
    StopAnsweringBoxes();
}

} // namespace
