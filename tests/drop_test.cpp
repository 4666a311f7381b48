// Dropped files through the real main window: reports, the registrar runs
// with real regsvr32.exe on the test COM server, refusals of awkward paths,
// directories and locked files. Nothing is acted on under a cut path.
#include "support/cabinet_maker.h"
#include "support/drop_fixture.h"
#include "support/pe_maker.h"
#include "support/test_support.h"

#include "app/app.h"
#include "register/register.h"
#include "register/drop_actions.h"

#include <gtest/gtest.h>

#include <algorithm>

static const wchar_t kNotAControl[] = L"ERROR:拖入不是.cab、.ocx、.dll文件！";

// A failed registration's report names its reason before the status line.
static std::wstring Report(const std::wstring &path, bool ok, const std::wstring &reason = L"")
{
    return L"拖入文件路径：" + path + (ok ? L"" : L"\r\n失败原因：" + reason) + L"\r\n注册状态：" +
           (ok ? L"文件注册成功！" : L"文件注册失败！");
}

// What the test server logs for a drop of path: the unregistering run, then the registering one.
static std::vector<std::wstring> BothRuns(const std::wstring &path)
{
    return {L"unregister " + path, L"register " + path};
}

class Drop : public DropFixture {
protected:
    Drop() : DropFixture(L"drop folder", true)
    {
    }

    // A copy of the test server whose full path is exactly length characters,
    // in folders of 200 characters where one name would be too long.
    std::wstring ServerAtLength(size_t length, wchar_t fill, Caller = {})
    {
        std::wstring path = dir;
        while (length - path.size() > 250) {
            path += L"\\" + std::wstring(200, fill);
            CreateDirectoryW(path.c_str(), NULL);
        }
        path += L"\\";
        path += std::wstring(length - path.size() - 4, fill) + L".ocx";
        EXPECT_EQ(length, path.size());
        EXPECT_TRUE(CopyFileW(TestServerPath().c_str(), path.c_str(), FALSE)) << length;
        return path;
    }

    // A path of exactly length characters to no file.
    std::wstring MissingAtLength(size_t length)
    {
        std::wstring path = dir + L"\\";
        while (path.size() + 4 < length)
            path += L"x";
        return path + L".ocx";
    }
};

// The registrar's own runs, outside a drop.
class Registrar : public Drop {};

// Spaces, Chinese and a letter outside code page 936 in the folder and the
// name: the path reaches regsvr32 whole, as one argument, and is never taken
// through the ANSI code page.
TEST_F(Drop, ControlFileIsUnregisteredThenRegisteredUnderItsWholePath)
{
    ASSERT_EQ(936u, GetACP());
    std::wstring folder = dir + L"\\中文 目录";
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), NULL));
    std::wstring path = CopyServer(L"中文 目录\\控件 测试ก.ocx");
    SendDrop(window, {path});
    EXPECT_EQ(path, WindowText(g_pathEdit));
    EXPECT_EQ(Report(path, true), WindowText(g_infoEdit));
    EXPECT_EQ(BothRuns(path), ReadServerLog(log));
    EXPECT_EQ(kTestServerClsid, ReadStringValue(HKEY_CLASSES_ROOT, L"ORVI.TestCtl\\CLSID"));
    EXPECT_EQ(path, RegisteredTestServer());
    UnregisterControlFile(path.c_str());

    // Forward slashes are passed on as they are.
    std::wstring forward = path;
    std::replace(forward.begin(), forward.end(), L'\\', L'/');
    DeleteFileW(log.c_str());
    SendDrop(window, {forward});
    EXPECT_EQ(forward, WindowText(g_pathEdit));
    EXPECT_EQ(Report(forward, true), WindowText(g_infoEdit));
    EXPECT_EQ(2u, ReadServerLog(log).size());
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, L"ORVI.TestCtl"));
    UnregisterControlFile(forward.c_str());
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"ORVI.TestCtl"));
}

TEST_F(Drop, OnlyTheFirstFileOfADropCounts)
{
    std::wstring first = CopyServer(L"first.dll");
    std::wstring second = CopyServer(L"second.ocx");
    SendDrop(window, {first, second});
    EXPECT_EQ(first, WindowText(g_pathEdit));
    EXPECT_EQ(BothRuns(first), ReadServerLog(log));
}

// The registrar's exit code decides: a failed registration is never
// reported as success, and the report says why it failed.
TEST_F(Drop, RegistrarFailureIsReportedAsFailure)
{
    std::wstring path = CopyServer(L"failing.ocx");
    SetEnv(L"ORVI_TEST_FAIL", L"register");
    SendDrop(window, {path});
    EXPECT_EQ(Report(path, false, L"DllRegisterServer执行失败"), WindowText(g_infoEdit));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"ORVI.TestCtl"));
    SetEnv(L"ORVI_TEST_FAIL", NULL);

    // A file that is no COM server at all.
    std::wstring text = InDir(L"notes.dll");
    WriteFileBytes(text, "not a library");
    SendDrop(window, {text});
    EXPECT_EQ(Report(text, false, L"不是PE格式的DLL"), WindowText(g_infoEdit));

    // The control needs a DLL this machine lacks (Wine has no mfc42.dll).
    std::wstring needy = InDir(L"needy.ocx");
    WriteFileBytes(needy, ReplaceBytes(ReadFileBytes(TestServerPath()), "ADVAPI32.dll",
                                       std::string("mfc42.dll\0\0\0", 12)));
    SendDrop(window, {needy});
    EXPECT_EQ(Report(needy, false, L"找不到它需要的DLL：mfc42.dll"), WindowText(g_infoEdit));
    // A DLL name the file holds cannot forge a line: the report keeps its lines.
    PeLayout forging;
    forging.imports = {"x.dll\r\n" + AnsiName(L"注册状态：文件注册成功！")};
    std::wstring forged = InDir(L"forged.dll");
    WriteFileBytes(forged, MakePeDll(forging));
    SendDrop(window, {forged});
    EXPECT_EQ(Report(forged, false, L"找不到它需要的DLL：x.dll??注册状态：文件注册成功！"),
              WindowText(g_infoEdit));

    // The unregistering run that comes first never decides the result.
    SetEnv(L"ORVI_TEST_FAIL", L"unregister");
    SendDrop(window, {path});
    EXPECT_EQ(Report(path, true), WindowText(g_infoEdit));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, L"ORVI.TestCtl"));
}

TEST_F(Drop, OtherEndingsAreRefusedCaseSensitively)
{
    for (const wchar_t *name :
         {L"upper.OCX", L"upper.DLL", L"upper.CAB", L"mixed.Ocx", L"notes.txt", L"noending"}) {
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

TEST_F(Drop, DirectoryNamedLikeAControlIsReportedAsAFailure)
{
    for (const wchar_t *name : {L"folder.ocx", L"folder.dll"}) {
        std::wstring path = InDir(name);
        ASSERT_TRUE(CreateDirectoryW(path.c_str(), NULL));
        WriteFileBytes(path + L"\\inside.txt", "kept");
        SendDrop(window, {path});
        EXPECT_EQ(Report(path, false, L"这是一个文件夹，不是控件文件"), WindowText(g_infoEdit))
            << name;
        EXPECT_EQ("kept", ReadFileBytes(path + L"\\inside.txt"));
    }
    EXPECT_TRUE(ReadServerLog(log).empty());
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"ORVI.TestCtl"));
}

TEST_F(Drop, FileLockedByAnotherProcessIsReportedAsAFailureAndLeftAlone)
{
    std::wstring path = CopyServer(L"locked.ocx");
    std::string bytes = ReadFileBytes(path);
    HANDLE holder = HoldFileInChild(path, 0);
    ASSERT_TRUE(holder != NULL);
    HANDLE probe = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                               OPEN_EXISTING, 0, NULL);
    EXPECT_EQ(INVALID_HANDLE_VALUE, probe) << "the child must hold the file alone";
    if (probe != INVALID_HANDLE_VALUE)
        CloseHandle(probe);

    SendDrop(window, {path});
    EXPECT_EQ(Report(path, false, L"文件无法读取，可能正被其他程序使用，请关闭它后再试"),
              WindowText(g_infoEdit));
    EXPECT_TRUE(ReadServerLog(log).empty());
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"ORVI.TestCtl"));
    ReleaseHeldFile(holder);
    EXPECT_EQ(bytes, ReadFileBytes(path));

    // Held the way a process that loaded it holds it: it can still be registered.
    holder = HoldFileInChild(path, FILE_SHARE_READ);
    ASSERT_TRUE(holder != NULL);
    SendDrop(window, {path});
    EXPECT_EQ(Report(path, true), WindowText(g_infoEdit));
    EXPECT_EQ(path, RegisteredTestServer());
    ReleaseHeldFile(holder);
    UnregisterControlFile(path.c_str());
}

TEST_F(Drop, DropOnUninstallPageSwitchesToRegisterPage)
{
    g_page = 2;
    Repaint(window);
    ASSERT_TRUE(IsWindowVisible(g_controlList));
    SendDrop(window, {InDir(L"readme.txt")});
    EXPECT_EQ(1, g_page);
    PumpMessages(50);
    EXPECT_TRUE(IsWindowVisible(g_infoEdit));
    EXPECT_FALSE(IsWindowVisible(g_controlList));
    EXPECT_EQ(kNotAControl, WindowText(g_infoEdit));
}

// Paths are never cut. Around MAX_PATH nothing changes: the registrar takes
// paths of up to 490 characters, and real files of these lengths are
// registered under their whole path. What it cannot take is refused before
// anything starts.
TEST_F(Drop, PathsUpTo490CharactersAreRegisteredWholeLongerOnesRefused)
{
    for (size_t length : {259u, 260u, 490u}) {
        std::wstring path = ServerAtLength(length, length == 490 ? L'n' : L'm');
        DeleteFileW(log.c_str());
        SendDrop(window, {path});
        EXPECT_EQ(path, WindowText(g_pathEdit)) << length;
        EXPECT_EQ(Report(path, true), WindowText(g_infoEdit)) << length;
        EXPECT_EQ(BothRuns(path), ReadServerLog(log)) << length;
        EXPECT_EQ(path, RegisteredTestServer()) << length;
        UnregisterControlFile(path.c_str());
    }

    // A missing file of 490 characters: the registrar starts and fails, but it was given the path.
    std::wstring missing = MissingAtLength(490);
    ASSERT_EQ(490u, missing.size());
    SendDrop(window, {missing});
    EXPECT_EQ(Report(missing, false, L"文件不存在"), WindowText(g_infoEdit));

    // A real file one character longer.
    std::wstring longer = ServerAtLength(491, L'o');
    DeleteFileW(log.c_str());
    SendDrop(window, {longer});
    EXPECT_EQ(kTooLong, WindowText(g_infoEdit));
    EXPECT_EQ(longer, WindowText(g_pathEdit));
    EXPECT_TRUE(FileExists(longer));
    // Refused whole by the runner itself, too.
    EXPECT_EQ(0, RegisterControlFile(longer.c_str()));
    EXPECT_EQ(0, UnregisterControlFile(longer.c_str()));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"ORVI.TestCtl"));

    for (size_t length : {999u, 1000u, 4000u}) {
        std::wstring path = MissingAtLength(length);
        ASSERT_EQ(length, path.size());
        SetWindowTextW(g_infoEdit, L"");
        SendDrop(window, {path});
        EXPECT_EQ(kTooLong, WindowText(g_infoEdit)) << length;
        if (length < 1000)
            EXPECT_EQ(path, WindowText(g_pathEdit));
        else
            EXPECT_EQ(L"", WindowText(g_pathEdit))
                << "a path that cannot be read whole is not shown cut";
    }
    EXPECT_TRUE(ReadServerLog(log).empty());
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
    Command(g_queryButton, BN_CLICKED); // no family control: a notice box
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

TEST_F(Registrar, EveryRunIsWaitedForAndItsHandleClosed)
{
    std::wstring path = CopyServer(L"slow.ocx");
    SetEnv(L"ORVI_TEST_SLEEP_MS", L"300");
    // A leaked process handle would push a fresh handle's value up. The shell
    // keeps one handle of its own from the first start in a process on, so
    // one run comes first.
    UnregisterControlFile(L"");
    HANDLE before = FreshHandle();
    for (int i = 0; i < 5; i++) {
        DWORD start = GetTickCount();
        EXPECT_EQ(1, RegisterControlFile(path.c_str()));
        EXPECT_GE(GetTickCount() - start, 600u) << "both runs are waited for";
        EXPECT_EQ(2u * (i + 1), ReadServerLog(log).size());
    }
    EXPECT_EQ(before, FreshHandle());
    EXPECT_EQ(1, UnregisterControlFile(path.c_str()));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"ORVI.TestCtl"));

    // 200 quick runs: each has ended and logged when the call returns, and
    // no process handle is left behind.
    SetEnv(L"ORVI_TEST_SLEEP_MS", NULL);
    DeleteFileW(log.c_str());
    before = FreshHandle();
    for (size_t i = 1; i <= 200; i++) {
        ASSERT_EQ(1, UnregisterControlFile(path.c_str()));
        ASSERT_EQ(i, ReadServerLog(log).size());
    }
    EXPECT_EQ(before, FreshHandle());
}

// No Windows file name holds a double quote. One in a path (a stored server
// path, say) would close the quoted argument and hand the registrar further
// arguments of its own: here a registered control's file.
TEST_F(Registrar, PathWithAQuoteStartsNothing)
{
    std::wstring other = CopyServer(L"other.ocx");
    ASSERT_EQ(1, RegisterControlFile(other.c_str()));
    ASSERT_TRUE(KeyExists(HKEY_CLASSES_ROOT, L"ORVI.TestCtl"));
    DeleteFileW(log.c_str());

    std::wstring injected = other + L"\" \"" + InDir(L"none.ocx");
    EXPECT_EQ(0, UnregisterControlFile(injected.c_str()));
    EXPECT_EQ(0, RegisterControlFile(injected.c_str()));
    EXPECT_EQ(0, UnregisterControlFile(L"\""));
    EXPECT_TRUE(ReadServerLog(log).empty());
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, L"ORVI.TestCtl"));
    UnregisterControlFile(other.c_str());
}
