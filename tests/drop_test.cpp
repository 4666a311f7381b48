// Dropped files through the real main window: reports, the registrar runs
// with real regsvr32.exe on the test COM server, refusals.
#include "support/test_support.h"

#include "app/app.h"
#include "register/register.h"

#include <gtest/gtest.h>

static const wchar_t kNotAControl[] = L"ERROR:拖入不是.cab、.ocx、.dll文件！";
static const wchar_t kTooLong[] = L"ERROR:拖入文件路径过长！";

class Drop : public ::testing::Test {
protected:
    void SetUp() override
    {
        StartAnsweringBoxes();
        RemoveFamilyKeys();
        dir = MakeScratchDir(L"drop folder");
        log = dir + L"\\server.log";
        SetEnv(L"ORVI_TEST_LOG", log.c_str());
        SetEnv(L"ORVI_TEST_FAIL", NULL);
        window = StartMainWindow();
    }
    void TearDown() override
    {
        CloseMainWindow(window);
        SetEnv(L"ORVI_TEST_LOG", NULL);
        SetEnv(L"ORVI_TEST_FAIL", NULL);
        RemoveFamilyKeys();
        StopAnsweringBoxes();
    }
    std::wstring CopyServer(const std::wstring &name)
    {
        std::wstring path = dir + L"\\" + name;
        CopyFileW(TestServerPath().c_str(), path.c_str(), FALSE);
        return path;
    }
    HWND window = NULL;
    std::wstring dir, log;
};

TEST_F(Drop, ControlFileIsUnregisteredThenRegistered)
{
    // Spaces in the folder and the name: the path must reach regsvr32 as one argument.
    std::wstring path = CopyServer(L"My Control.ocx");
    SendDrop(window, {path});
    EXPECT_EQ(path, WindowText(g_pathEdit));
    EXPECT_EQ(L"拖入文件路径：" + path + L"\r\n注册状态：文件注册成功！", WindowText(g_infoEdit));
    EXPECT_EQ((std::vector<std::wstring>{L"unregister " + path, L"register " + path}),
              ReadServerLog(log));
    EXPECT_EQ(L"{0D1C2B3A-4E5F-4a6b-8C7D-9E0F1A2B3C4D}",
              ReadStringValue(HKEY_CLASSES_ROOT, L"ORVI.TestCtl\\CLSID"));
    EXPECT_EQ(path, ReadStringValue(HKEY_CLASSES_ROOT,
                                    L"CLSID\\{0D1C2B3A-4E5F-4a6b-8C7D-9E0F1A2B3C4D}\\InprocServer32"));
}

TEST_F(Drop, OnlyTheFirstFileOfADropCounts)
{
    std::wstring first = CopyServer(L"first.dll");
    std::wstring second = CopyServer(L"second.ocx");
    SendDrop(window, {first, second});
    EXPECT_EQ(first, WindowText(g_pathEdit));
    EXPECT_EQ((std::vector<std::wstring>{L"unregister " + first, L"register " + first}),
              ReadServerLog(log));
}

// The registrar's exit code decides: a failed registration is never reported as success.
TEST_F(Drop, RegistrarFailureIsReportedAsFailure)
{
    std::wstring path = CopyServer(L"failing.ocx");
    SetEnv(L"ORVI_TEST_FAIL", L"register");
    SendDrop(window, {path});
    EXPECT_EQ(L"拖入文件路径：" + path + L"\r\n注册状态：文件注册失败！", WindowText(g_infoEdit));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"ORVI.TestCtl"));

    // A file that is no COM server at all.
    std::wstring text = dir + L"\\notes.dll";
    WriteFileBytes(text, "not a library");
    SendDrop(window, {text});
    EXPECT_EQ(L"拖入文件路径：" + text + L"\r\n注册状态：文件注册失败！", WindowText(g_infoEdit));

    // The unregistering run that comes first never decides the result.
    SetEnv(L"ORVI_TEST_FAIL", L"unregister");
    SendDrop(window, {path});
    EXPECT_EQ(L"拖入文件路径：" + path + L"\r\n注册状态：文件注册成功！", WindowText(g_infoEdit));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, L"ORVI.TestCtl"));
}

TEST_F(Drop, OtherEndingsAreRefusedCaseSensitively)
{
    for (const wchar_t *name : {L"upper.OCX", L"upper.DLL", L"upper.CAB", L"mixed.Ocx", L"notes.txt",
                                L"noending"}) {
        std::wstring path = CopyServer(name);
        SetWindowTextW(g_infoEdit, L"");
        SendDrop(window, {path});
        EXPECT_EQ(kNotAControl, WindowText(g_infoEdit)) << name;
        EXPECT_EQ(path, WindowText(g_pathEdit));
    }
    SendDrop(window, {L"ab"});
    EXPECT_EQ(kNotAControl, WindowText(g_infoEdit));
    EXPECT_TRUE(ReadServerLog(log).empty()) << "nothing may be started for a refused file";
}

TEST_F(Drop, DropOnUninstallPageSwitchesToRegisterPage)
{
    g_page = 2;
    Repaint(window);
    ASSERT_TRUE(IsWindowVisible(g_controlList));
    SendDrop(window, {dir + L"\\readme.txt"});
    EXPECT_EQ(1, g_page);
    PumpMessages(50);
    EXPECT_TRUE(IsWindowVisible(g_infoEdit));
    EXPECT_FALSE(IsWindowVisible(g_controlList));
    EXPECT_EQ(kNotAControl, WindowText(g_infoEdit));
}

static std::wstring PathOfLength(const std::wstring &dir, size_t length, const wchar_t *ending)
{
    std::wstring path = dir + L"\\";
    while (path.size() + 4 < length)
        path += L"x";
    return path + ending;
}

// Paths are never cut: what the registrar cannot take is refused before anything starts.
TEST_F(Drop, OverLongPathsAreRefusedWhole)
{
    std::wstring fits = PathOfLength(dir, 490, L".ocx");
    ASSERT_EQ(490u, fits.size());
    SendDrop(window, {fits});
    // The file does not exist: the registrar starts and fails, but it was given the path.
    EXPECT_EQ(L"拖入文件路径：" + fits + L"\r\n注册状态：文件注册失败！", WindowText(g_infoEdit));

    for (size_t length : {491u, 999u, 1000u, 4000u}) {
        std::wstring path = PathOfLength(dir, length, L".ocx");
        SetWindowTextW(g_infoEdit, L"");
        SendDrop(window, {path});
        EXPECT_EQ(kTooLong, WindowText(g_infoEdit)) << length;
        if (length < 1000)
            EXPECT_EQ(path, WindowText(g_pathEdit));
        else
            EXPECT_EQ(L"", WindowText(g_pathEdit)) << "a path that cannot be read whole is not shown cut";
    }
    EXPECT_TRUE(ReadServerLog(log).empty());
    // Refused whole by the runner itself, too.
    EXPECT_EQ(0, RegisterControlFile(PathOfLength(dir, 491, L".ocx").c_str()));
    EXPECT_EQ(0, UnregisterControlFile(PathOfLength(dir, 491, L".ocx").c_str()));
}

static HWND g_heldWindow;
static std::wstring g_heldPath;
static bool g_setWhileBoxOpen;
static int g_infoTexts;
static WNDPROC g_editProc;

static LRESULT CALLBACK WatchInfoEdit(HWND w, UINT m, WPARAM wp, LPARAM lp)
{
    if (m == WM_SETTEXT) {
        g_infoTexts++;
        if (BoxIsOpen())
            g_setWhileBoxOpen = true;
    }
    return CallWindowProcW(g_editProc, w, m, wp, lp);
}

static void DropWhileBoxIsOpen(HWND)
{
    PostMessageW(g_heldWindow, WM_DROPFILES, (WPARAM)MakeDrop({g_heldPath}), 0);
}

// A drop that arrives while a modal box of another action is open is held
// back and handled after that action, never inside it.
TEST_F(Drop, DropDuringAModalBoxIsHeldBack)
{
    g_heldWindow = window;
    g_heldPath = dir + L"\\late.txt";
    g_setWhileBoxOpen = false;
    g_infoTexts = 0;
    g_editProc = (WNDPROC)SetWindowLongPtrW(g_infoEdit, GWLP_WNDPROC, (LONG_PTR)WatchInfoEdit);
    SetBoxCallback(DropWhileBoxIsOpen);
    g_page = 2;
    SendMessageW(window, WM_COMMAND, 0, (LPARAM)g_queryButton); // no family control: a notice box
    SetBoxCallback(NULL);
    PumpMessages(50);
    SetWindowLongPtrW(g_infoEdit, GWLP_WNDPROC, (LONG_PTR)g_editProc);

    ASSERT_EQ(1u, TakeBoxes().size());
    EXPECT_FALSE(g_setWhileBoxOpen);
    EXPECT_EQ(1, g_infoTexts);
    EXPECT_EQ(g_heldPath, WindowText(g_pathEdit));
    EXPECT_EQ(kNotAControl, WindowText(g_infoEdit));
    EXPECT_EQ(1, g_page);
}

TEST(Registrar, EveryRunIsWaitedForAndItsHandleClosed)
{
    std::wstring dir = MakeScratchDir(L"registrar");
    std::wstring log = dir + L"\\server.log";
    std::wstring path = dir + L"\\slow.ocx";
    CopyFileW(TestServerPath().c_str(), path.c_str(), FALSE);
    SetEnv(L"ORVI_TEST_LOG", log.c_str());
    SetEnv(L"ORVI_TEST_SLEEP_MS", L"300");
    // Wine hands out the lowest free handle slot: a leaked process handle
    // would push a fresh handle's value up. The shell keeps one handle of its
    // own from the first start in a process on, so one run comes first.
    UnregisterControlFile(L"");
    HANDLE before = CreateEventW(NULL, FALSE, FALSE, NULL);
    CloseHandle(before);
    for (int i = 0; i < 5; i++) {
        DWORD start = GetTickCount();
        EXPECT_EQ(1, RegisterControlFile(path.c_str()));
        EXPECT_GE(GetTickCount() - start, 600u) << "both runs are waited for";
        EXPECT_EQ(2u * (i + 1), ReadServerLog(log).size());
    }
    HANDLE after = CreateEventW(NULL, FALSE, FALSE, NULL);
    CloseHandle(after);
    EXPECT_EQ(before, after);
    EXPECT_EQ(1, UnregisterControlFile(path.c_str()));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"ORVI.TestCtl"));

    // 200 quick runs: each has ended and logged when the call returns, and
    // no process handle is left behind.
    SetEnv(L"ORVI_TEST_SLEEP_MS", NULL);
    DeleteFileW(log.c_str());
    before = CreateEventW(NULL, FALSE, FALSE, NULL);
    CloseHandle(before);
    for (size_t i = 1; i <= 200; i++) {
        ASSERT_EQ(1, UnregisterControlFile(path.c_str()));
        ASSERT_EQ(i, ReadServerLog(log).size());
    }
    after = CreateEventW(NULL, FALSE, FALSE, NULL);
    CloseHandle(after);
    EXPECT_EQ(before, after);
    SetEnv(L"ORVI_TEST_LOG", NULL);
}

TEST(Registrar, ForwardSlashesArePassedOn)
{
    std::wstring dir = MakeScratchDir(L"slashes");
    std::wstring path = dir + L"\\fwd.ocx";
    CopyFileW(TestServerPath().c_str(), path.c_str(), FALSE);
    std::wstring forward = path;
    for (wchar_t &c : forward)
        if (c == L'\\')
            c = L'/';
    EXPECT_EQ(1, RegisterControlFile(forward.c_str()));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, L"ORVI.TestCtl"));
    UnregisterControlFile(forward.c_str());
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"ORVI.TestCtl"));
}

// No Windows file name holds a double quote. One in a path (a stored server
// path, say) would close the quoted argument and hand the registrar further
// arguments of its own: here a registered control's file.
TEST(Registrar, PathWithAQuoteStartsNothing)
{
    std::wstring dir = MakeScratchDir(L"quote");
    std::wstring log = dir + L"\\server.log";
    std::wstring other = dir + L"\\other.ocx";
    ASSERT_TRUE(CopyFileW(TestServerPath().c_str(), other.c_str(), FALSE));
    SetEnv(L"ORVI_TEST_LOG", log.c_str());
    ASSERT_EQ(1, RegisterControlFile(other.c_str()));
    ASSERT_TRUE(KeyExists(HKEY_CLASSES_ROOT, L"ORVI.TestCtl"));
    DeleteFileW(log.c_str());

    std::wstring injected = other + L"\" \"" + dir + L"\\none.ocx";
    EXPECT_EQ(0, UnregisterControlFile(injected.c_str()));
    EXPECT_EQ(0, RegisterControlFile(injected.c_str()));
    EXPECT_EQ(0, UnregisterControlFile(L"\""));
    EXPECT_TRUE(ReadServerLog(log).empty());
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, L"ORVI.TestCtl"));

    UnregisterControlFile(other.c_str());
    SetEnv(L"ORVI_TEST_LOG", NULL);
    RemoveFamilyKeys();
}
