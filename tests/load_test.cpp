// Load on the real main window: 50 cabinet drops in a row, and a thousand
// paints, queries and drops without drawing objects, windows or handles
// piling up. Each part is sized to stay within a few tens of seconds under
// wine64. (The 2,000 controls uninstalled in one go: removal_test.cpp.)
#include "support/cabinet_maker.h"
#include "support/test_support.h"

#include "app/app.h"
#include "controls/controls.h"
#include "register/register.h"

#include <gtest/gtest.h>

#include <set>
#include <stdio.h>

namespace {

const HKEY kCR = HKEY_CLASSES_ROOT;

// ORVI_LOAD_SIZES=reduced (the test command sets it for one of its two
// suites, to keep within its time) takes a tenth of the cabinet drops and
// rounds.
bool Reduced()
{
    wchar_t sizes[16] = {};
    GetEnvironmentVariableW(L"ORVI_LOAD_SIZES", sizes, 16);
    return lstrcmpW(sizes, L"reduced") == 0;
}
const int kDrops = Reduced() ? 5 : 50;
const int kRounds = Reduced() ? 100 : 1000;

// ---- 50 cabinets --------------------------------------------------------------------

std::wstring Drive()
{
    wchar_t dir[MAX_PATH] = {};
    GetSystemDirectoryW(dir, MAX_PATH);
    return std::wstring(1, dir[0]);
}

std::wstring BaseFolder()
{
    return Drive() + L":\\OrviActiveX";
}

std::set<std::wstring> Folders()
{
    std::set<std::wstring> names;
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((BaseFolder() + L"\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE)
        return names;
    do {
        std::wstring name = found.cFileName;
        if (name != L"." && name != L"..")
            names.insert(name);
    } while (FindNextFileW(find, &found));
    FindClose(find);
    return names;
}

void RemoveFolder(const std::wstring &number)
{
    std::wstring folder = BaseFolder() + L"\\" + number;
    for (const wchar_t *name : {L"\\testctl.ocx", L"\\readme.txt"}) {
        SetFileAttributesW((folder + name).c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW((folder + name).c_str());
    }
    RemoveDirectoryW(folder.c_str());
}

TEST(Load, FiftyCabinetDropsLeaveFiftySeparateFoldersAndReports)
{
    StartAnsweringBoxes();
    RemoveFamilyKeys();
    std::wstring scratch = MakeScratchDir(L"load cabinets");
    std::string server = ReadFileBytes(TestServerPath());
    CabEntry control, text;
    control.storedName = "testctl.ocx";
    control.bytes = server;
    text.storedName = "readme.txt";
    text.bytes = "load";
    ASSERT_EQ(1, MakeCabinet(scratch, "load.cab", {control, text}));
    std::wstring cab = scratch + L"\\load.cab";
    HWND window = StartMainWindow();

    std::set<std::wstring> existing = Folders();
    std::vector<std::wstring> made;
    DWORD start = GetTickCount();
    for (int i = 0; i < kDrops; i++) {
        std::set<std::wstring> before = Folders();
        SendDrop(window, {cab});
        std::vector<std::wstring> fresh;
        for (const std::wstring &name : Folders()) {
            if (!before.count(name))
                fresh.push_back(name);
        }
        ASSERT_EQ(1u, fresh.size()) << "drop " << i;
        made.push_back(fresh[0]);
        std::wstring reported = Drive() + L":/OrviActiveX/" + fresh[0] + L"/";
        EXPECT_EQ(L"解压文件列表:\r\n" + reported + L"testctl.ocx\r\n" + reported +
                      L"readme.txt\r\n注册状态:注册成功！",
                  WindowText(g_infoEdit))
            << "drop " << i;
        EXPECT_STREQ(L"拖入文件路径:", g_statusText);
        std::wstring folder = BaseFolder() + L"\\" + fresh[0];
        EXPECT_EQ("load", ReadFileBytes(folder + L"\\readme.txt"));
        EXPECT_TRUE(ReadFileBytes(folder + L"\\testctl.ocx") == server);
    }
    printf("%d cabinet drops in %lu ms\n", kDrops, GetTickCount() - start);
    EXPECT_EQ((size_t)kDrops, std::set<std::wstring>(made.begin(), made.end()).size());
    EXPECT_TRUE(TakeBoxes().empty());

    CloseMainWindow(window);
    for (const std::wstring &name : Folders()) {
        if (!existing.count(name))
            RemoveFolder(name);
    }
    RemoveFamilyKeys();
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
