// The Register page: dropped files and cabinets through the real main
// window. A dropped control file is unregistered and registered with the
// real regsvr32.exe on the test COM server; awkward paths, directories and
// locked files are refused, and nothing is acted on under a cut path.
// Cabinets are unpacked with the real cabinet.dll into fresh folders at the
// root of the system drive, reported in the processing edit and their
// control registered. Cabinets are made at run time with cabinet.dll's FCI.
// Bad cabinets (seeded random corruptions, stored names of the
// decompressor's longest length, thousands of files) are handed straight to
// RegisterCabinet, as a drop of one .cab file does, so that hundreds of them
// stay quick: each ends with a report whose last line is a status line, and
// nothing is written outside the extraction folder.
#include "support/cabinet_maker.h"
#include "support/pe_maker.h"
#include "window/support/window_support.h"

#include "app/app.h"
#include "register/register.h"

#include <aclapi.h>
#include <gtest/gtest.h>
#include <sddl.h>

#include <algorithm>
#include <ctime>
#include <map>
#include <random>
#include <set>

// ---- dropped files -------------------------------------------------------------

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

class Drop : public PageTest {
protected:
    Drop() : PageTest(1, L"drop folder", true)
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

// Spaces, Chinese and a letter outside code page 936 in the folder and the
// name: the path reaches regsvr32 whole, as one argument, and is never taken
// through the ANSI code page.
TEST_F(Drop, ControlFileIsUnregisteredThenRegisteredUnderItsWholePath)
{
    ASSERT_EQ(936u, GetACP());
    std::wstring folder = dir + L"\\中文 目录";
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), NULL));
    std::wstring path = CopyTestServer(L"中文 目录\\控件 测试ก.ocx");
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
    std::wstring first = CopyTestServer(L"first.dll");
    std::wstring second = CopyTestServer(L"second.ocx");
    SendDrop(window, {first, second});
    EXPECT_EQ(first, WindowText(g_pathEdit));
    EXPECT_EQ(BothRuns(first), ReadServerLog(log));
}

// The registrar's exit code decides: a failed registration is never
// reported as success, and the report says why it failed.
TEST_F(Drop, RegistrarFailureIsReportedAsFailure)
{
    std::wstring path = CopyTestServer(L"failing.ocx");
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
        std::wstring path = CopyTestServer(name);
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
    std::wstring path = CopyTestServer(L"locked.ocx");
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

// ---- dropped cabinets -----------------------------------------------------------

namespace {

const wchar_t kSuccess[] = L"注册状态:注册成功！";
const wchar_t kFailure[] = L"注册状态:注册失败！";
const wchar_t kListHeader[] = L"解压文件列表:\r\n";
// The lines after the list when unpacking went wrong.
const wchar_t kStopped[] =
    L"解压中断:cab文件包已损坏或不完整，没有完整解压的文件不会注册，请重新获取文件包\r\n";
const wchar_t kNotACabinet[] = L"无法解压:这个文件不是cab文件包或已损坏，请重新获取文件包\r\n";
const wchar_t kRefused[] = L"拒绝解压(文件名不合法):";

// Drops in a row: a tenth with reduced load sizes.
const int kDrops = LoadSize(50);

// Seconds since 1970 by the C library's clock: where the folder numbers start.
long long SecondsNow()
{
    return (long long)time(NULL);
}

std::wstring ListReport(const std::wstring &folder, const std::vector<std::wstring> &names,
                        const std::wstring &status)
{
    std::wstring report = kListHeader;
    for (const std::wstring &name : names)
        report += ReportedFolder(folder) + name + L"\r\n";
    return report + status;
}

// Every text the processing edit is given, in order.
WNDPROC g_editProc;
std::vector<std::wstring> g_shownTexts;
// Called with each text the edit is given, when set.
void (*g_onShow)(const std::wstring &text);

LRESULT CALLBACK RecordingEditProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_SETTEXT && lParam) {
        g_shownTexts.push_back((const wchar_t *)lParam);
        if (g_onShow)
            g_onShow(g_shownTexts.back());
    }
    return CallWindowProcW(g_editProc, window, message, wParam, lParam);
}

CabEntry Entry(const std::string &name, const std::string &bytes, USHORT attributes = 0x20)
{
    CabEntry entry;
    entry.storedName = name;
    entry.bytes = bytes;
    entry.attributes = attributes;
    return entry;
}

bool SameFile(const std::wstring &a, std::wstring b)
{
    std::replace(b.begin(), b.end(), L'/', L'\\');
    return lstrcmpiW(a.c_str(), b.c_str()) == 0;
}

std::vector<std::wstring> SplitLines(const std::wstring &text)
{
    std::vector<std::wstring> lines;
    size_t start = 0;
    for (;;) {
        size_t end = text.find(L"\r\n", start);
        if (end == std::wstring::npos) {
            lines.push_back(text.substr(start));
            return lines;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
}

std::string PseudoRandomBytes(size_t n, unsigned seed)
{
    std::mt19937 random(seed);
    std::string bytes(n, '\0');
    for (char &c : bytes)
        c = (char)(random() % 40 + 'A'); // compressible, but not trivially
    return bytes;
}

std::set<std::wstring> Names(const std::wstring &dir)
{
    std::vector<std::wstring> names = NamesIn(dir);
    return std::set<std::wstring>(names.begin(), names.end());
}

std::set<std::wstring> Folders()
{
    return Names(BaseFolder());
}

// What lets someone put, replace or remove a file in a folder, or take the
// folder over.
const DWORD kWriteRights = FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY | FILE_DELETE_CHILD | DELETE |
                           WRITE_DAC | WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;

// The allowing ACEs of path's DACL, as read back, that give any of
// kWriteRights to Everyone, Users or Authenticated Users, as "SID:mask". A
// missing DACL lets everybody in.
std::vector<std::wstring> WriteGrantsToOthers(const std::wstring &path)
{
    std::vector<std::wstring> grants;
    PACL dacl = NULL;
    PSECURITY_DESCRIPTOR sd = NULL;
    DWORD error = GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                                        NULL, NULL, &dacl, NULL, &sd);
    if (error != ERROR_SUCCESS)
        return {L"DACL not read, error " + std::to_wstring(error)};
    if (!dacl)
        grants.push_back(L"no DACL");
    for (DWORD i = 0; dacl && i < dacl->AceCount; i++) {
        ACE_HEADER *header = NULL;
        if (!GetAce(dacl, i, (void **)&header) || header->AceType != ACCESS_ALLOWED_ACE_TYPE)
            continue;
        ACCESS_ALLOWED_ACE *ace = (ACCESS_ALLOWED_ACE *)header;
        wchar_t *text = NULL;
        if (!ConvertSidToStringSidW((PSID)&ace->SidStart, &text))
            continue;
        std::wstring sid = text;
        LocalFree(text);
        if ((sid == L"S-1-1-0" || sid == L"S-1-5-32-545" || sid == L"S-1-5-11") &&
            (ace->Mask & kWriteRights)) {
            wchar_t mask[16] = {};
            swprintf(mask, 16, L"%08lx", (unsigned long)ace->Mask);
            grants.push_back(sid + L":" + mask);
        }
    }
    LocalFree(sd);
    return grants;
}

class CabinetDrop : public PageTest {
protected:
    CabinetDrop() : PageTest(1, L"cabinets")
    {
    }

    void SetUp() override
    {
        PageTest::SetUp();
        existing_ = Folders();
        g_shownTexts.clear();
        g_onShow = nullptr;
        g_editProc =
            (WNDPROC)SetWindowLongPtrW(g_infoEdit, GWLP_WNDPROC, (LONG_PTR)RecordingEditProc);
        // An extraction that never ends would hang the test program: end it instead.
        StartWatchdog(170000, "a cabinet drop");
        server_ = ReadFileBytes(TestServerPath());
        ASSERT_FALSE(server_.empty());
    }

    void TearDown() override
    {
        StopWatchdog();
        for (const std::wstring &number : NewFolders())
            RemoveTree(FolderOf(number));
        PageTest::TearDown();
    }

    // Extraction folders made since the test began, oldest number first.
    std::vector<std::wstring> NewFolders()
    {
        std::vector<std::wstring> made;
        for (const std::wstring &name : Folders()) {
            if (!existing_.count(name))
                made.push_back(name);
        }
        std::sort(made.begin(), made.end(), [](const std::wstring &a, const std::wstring &b) {
            return _wtoi64(a.c_str()) < _wtoi64(b.c_str());
        });
        return made;
    }

    // Drops the cabinet and returns the one folder the drop made.
    std::wstring DropAndFindFolder(const std::wstring &cab, Caller = {})
    {
        std::set<std::wstring> before = Folders();
        SendDrop(window, {cab});
        std::wstring made;
        int count = 0;
        for (const std::wstring &name : Folders()) {
            if (!before.count(name)) {
                made = name;
                count++;
            }
        }
        EXPECT_EQ(count, 1);
        return made;
    }

    std::wstring Report()
    {
        return WindowText(g_infoEdit);
    }

    // Every place a name that escaped its folder could land: the drive's
    // root, the base of the extraction folders, the cabinet's own folder, the
    // working folder of the test program and the temporary folder.
    std::map<std::wstring, std::set<std::wstring>> Surroundings()
    {
        wchar_t temp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temp);
        wchar_t current[MAX_PATH] = {};
        GetCurrentDirectoryW(MAX_PATH, current);
        std::map<std::wstring, std::set<std::wstring>> seen;
        for (const std::wstring &place :
             {SystemDrive() + L":\\", BaseFolder(), dir, TestProgramDir(), std::wstring(current),
              std::wstring(temp)})
            seen[place] = Names(place);
        return seen;
    }

    // Hands the cabinet over and checks what every cabinet must give: one new
    // numbered folder and nothing new anywhere else, no box, and a report of
    // the list header, whole listed lines of that folder (or the cut mark)
    // and a status line last. Returns the folder's number.
    std::wstring Unpack(const std::wstring &cab, size_t *listed = nullptr, Caller = {})
    {
        // The tool makes the base folder at its first extraction in a fresh
        // prefix; made here, that is no change to the drive's root.
        CreateDirectoryW(BaseFolder().c_str(), NULL);
        std::map<std::wstring, std::set<std::wstring>> before = Surroundings();
        std::set<std::wstring> bases = Folders();
        TakeBoxes();
        SetWindowTextW(g_infoEdit, L"");
        RegisterCabinet(cab.c_str());

        std::map<std::wstring, std::set<std::wstring>> after = Surroundings();
        std::wstring folder;
        for (const std::wstring &name : after[BaseFolder()]) {
            if (!bases.count(name)) {
                EXPECT_TRUE(folder.empty()) << "a second new folder " << name;
                folder = name;
            }
        }
        EXPECT_FALSE(folder.empty()) << "no extraction folder";
        after[BaseFolder()].erase(folder);
        before[BaseFolder()] = bases;
        for (auto &place : before)
            EXPECT_EQ(place.second, after[place.first]) << "something changed in " << place.first;
        EXPECT_TRUE(TakeBoxes().empty());

        std::vector<std::wstring> lines = SplitLines(Report());
        EXPECT_GE(lines.size(), 2u);
        if (lines.size() < 2)
            return folder;
        EXPECT_EQ(lines.front() + L"\r\n", kListHeader);
        EXPECT_TRUE(lines.back() == kSuccess || lines.back() == kFailure) << lines.back();
        // The list (unpacked and refused names, perhaps cut), then the lines
        // that say what went wrong.
        const std::wstring reported = ReportedFolder(folder);
        size_t count = 0;
        bool cut = false, afterList = false;
        for (size_t i = 1; i + 1 < lines.size(); i++) {
            const std::wstring &line = lines[i];
            if (!cut && !afterList) {
                if (line == L"…") {
                    cut = true;
                    continue;
                }
                if (line.rfind(reported, 0) == 0) {
                    count++;
                    continue;
                }
                if (line.rfind(kRefused + reported, 0) == 0)
                    continue;
            }
            afterList = true;
            EXPECT_TRUE(line + L"\r\n" == kStopped || line + L"\r\n" == kNotACabinet ||
                        (line.rfind(L"注册失败:" + reported, 0) == 0 &&
                         line.find(L" 原因:") != std::wstring::npos))
                << line;
            EXPECT_NE(lines.back(), kSuccess) << "something went wrong: " << line;
        }
        // Only plain files come out, never more than were listed (when the
        // list is not cut); the report is never longer than its buffer.
        std::vector<std::wstring> files = NamesIn(FolderOf(folder));
        for (const std::wstring &name : files)
            EXPECT_FALSE(GetFileAttributesW((FolderOf(folder) + L"\\" + name).c_str()) &
                         FILE_ATTRIBUTE_DIRECTORY);
        if (!cut) {
            EXPECT_LE(files.size(), count);
        }
        EXPECT_LT(Report().size(), (size_t)kStatusTextSize);
        EXPECT_STREQ(g_statusText, L"拖入文件路径:");
        if (listed)
            *listed = count;
        return folder;
    }

    std::string server_;
    std::set<std::wstring> existing_;
};

TEST_F(CabinetDrop, ControlAndTextFileAreUnpackedListedAndRegistered)
{
    ASSERT_EQ(MakeCabinet(dir, "control.cab",
                          {Entry("testctl.ocx", server_), Entry("readme.txt", "hello")}),
              1);
    std::wstring folder = DropAndFindFolder(InDir(L"control.cab"));

    // Before unpacking: the cabinet path and the new folder, with ASCII colons.
    ASSERT_GE(g_shownTexts.size(), 3u);
    EXPECT_EQ(g_shownTexts[0], L"拖入文件路径:" + InDir(L"control.cab") + L"\r\n新建文件夹:" +
                                   ReportedFolder(folder) + L"\r\n");
    EXPECT_EQ(g_shownTexts[1], ListReport(folder, {L"testctl.ocx"}, L""));
    EXPECT_EQ(Report(), ListReport(folder, {L"testctl.ocx", L"readme.txt"}, kSuccess));
    EXPECT_STREQ(g_statusText, L"拖入文件路径:");
    EXPECT_EQ(WindowText(g_pathEdit), InDir(L"control.cab"));

    EXPECT_EQ(NamesIn(FolderOf(folder)),
              (std::vector<std::wstring>{L"readme.txt", L"testctl.ocx"}));
    EXPECT_EQ(ReadFileBytes(FolderOf(folder) + L"\\readme.txt"), "hello");
    EXPECT_TRUE(ReadFileBytes(FolderOf(folder) + L"\\testctl.ocx") == server_);
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, L"ORVI.TestCtl"));
    std::wstring server = RegisteredTestServer();
    EXPECT_TRUE(SameFile(server, FolderOf(folder) + L"\\testctl.ocx")) << server;

    // The next cabinet's report starts afresh.
    g_shownTexts.clear();
    std::wstring second = DropAndFindFolder(InDir(L"control.cab"));
    ASSERT_FALSE(g_shownTexts.empty());
    EXPECT_EQ(
        g_shownTexts[0].rfind(L"拖入文件路径:" + InDir(L"control.cab") + L"\r\n新建文件夹:", 0),
        0u);
    EXPECT_EQ(Report(), ListReport(second, {L"testctl.ocx", L"readme.txt"}, kSuccess));

    // One control that does not register: the good one still does, the
    // failing one is named with its reason, and the cabinet fails.
    RemoveFamilyKeys();
    std::string needy = ReplaceBytes(server_, "ADVAPI32.dll", std::string("mfc42.dll\0\0\0", 12));
    ASSERT_EQ(
        MakeCabinet(dir, "mixed.cab", {Entry("needy.ocx", needy), Entry("testctl.ocx", server_)}),
        1);
    std::wstring mixed = DropAndFindFolder(InDir(L"mixed.cab"));
    EXPECT_EQ(Report(), ListReport(mixed, {L"needy.ocx", L"testctl.ocx"}, L"") + L"注册失败:" +
                            ReportedFolder(mixed) +
                            L"needy.ocx 原因:找不到它需要的DLL：mfc42.dll\r\n" + kFailure);
    EXPECT_TRUE(SameFile(RegisteredTestServer(), FolderOf(mixed) + L"\\testctl.ocx"));

    // A DLL name the control holds cannot forge a line of the report.
    PeLayout forging;
    forging.imports = {"x.dll\r\n" + AnsiName(kSuccess)};
    ASSERT_EQ(MakeCabinet(dir, "forged.cab", {Entry("forged.ocx", MakePeDll(forging))}), 1);
    std::wstring forged = DropAndFindFolder(InDir(L"forged.cab"));
    EXPECT_EQ(Report(), ListReport(forged, {L"forged.ocx"}, L"") + L"注册失败:" +
                            ReportedFolder(forged) + L"forged.ocx 原因:找不到它需要的DLL：x.dll??" +
                            kSuccess + L"\r\n" + kFailure);
}

// What the plant below saw and did.
std::string g_plantBytes;
std::wstring g_plantedIn;
bool g_folderMoved;

TEST_F(CabinetDrop, OnlyFilesTheExtractionWroteAreRegistered)
{
    // Seam: the report edit's window procedure. The tool shows each file's
    // line there while it unpacks, after the numbered folder is made and
    // before it is listed for registration, so from there the test puts a
    // control file of its own into the folder and tries to move the folder.
    SetEnv(L"ORVI_TEST_LOG", log.c_str());
    g_plantBytes = server_;
    g_plantedIn.clear();
    g_folderMoved = false;
    g_onShow = [](const std::wstring &text) {
        if (!g_plantedIn.empty() || text.rfind(kListHeader, 0) != 0)
            return;
        g_plantedIn = g_extractFolderWide;
        WriteFileBytes(g_plantedIn + L"planted.dll", g_plantBytes);
        std::wstring folder = g_plantedIn.substr(0, g_plantedIn.size() - 1);
        g_folderMoved = MoveFileW(folder.c_str(), (folder + L"-moved").c_str()) != 0;
    };
    ASSERT_EQ(MakeCabinet(dir, "control.cab",
                          {Entry("testctl.ocx", server_), Entry("readme.txt", "hello")}),
              1);
    // A base folder that others may change (made before the tool's, or
    // inheriting a grant) is protected again before anything goes into it.
    CreateDirectoryW(BaseFolder().c_str(), NULL);
    SetFolderDacl(BaseFolder(), kOpenToEveryone);
    ASSERT_FALSE(WriteGrantsToOthers(BaseFolder()).empty());
    std::wstring folder = DropAndFindFolder(InDir(L"control.cab"));
    g_onShow = nullptr;
    EXPECT_TRUE(WriteGrantsToOthers(BaseFolder()).empty());

    // Nobody but administrators and SYSTEM may write into the folder. Wine
    // keeps no file DACL: its server turns one into Unix mode bits and reads
    // one back from them, so a write grant to Everyone shows in the readback,
    // provided the server's umask leaves the bits alone (scripts/lib/wine-env.sh
    // starts it without one; the folder made here shows that it does). Grants
    // to Users or Authenticated Users map to no mode bits, and that the DACL
    // is protected from inheritance and holds exactly the tool's ACEs, show
    // on Windows only.
    std::wstring open = dir + L"\\open to everyone";
    SECURITY_ATTRIBUTES everyone = {sizeof(everyone), NULL, FALSE};
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(
        L"D:P(A;OICI;FA;;;WD)", SDDL_REVISION_1, &everyone.lpSecurityDescriptor, NULL));
    EXPECT_TRUE(CreateDirectoryW(open.c_str(), &everyone));
    LocalFree(everyone.lpSecurityDescriptor);
    EXPECT_FALSE(WriteGrantsToOthers(open).empty())
        << "a write grant to Everyone does not show: the Wine server's umask strips it "
           "(wine_start of scripts/lib/wine-env.sh starts it without one)";
    std::wstring grants;
    for (const std::wstring &grant : WriteGrantsToOthers(FolderOf(folder)))
        grants += grant + L" ";
    EXPECT_EQ(grants, L"");
    EXPECT_EQ(g_plantedIn, ReportedFolder(folder));
    EXPECT_EQ(NamesIn(FolderOf(folder)),
              (std::vector<std::wstring>{L"planted.dll", L"readme.txt", L"testctl.ocx"}));
    EXPECT_FALSE(g_folderMoved);
    EXPECT_EQ(Report(), ListReport(folder, {L"testctl.ocx", L"readme.txt"}, kSuccess));
    std::vector<std::wstring> runs = ReadServerLog(log);
    ASSERT_EQ(runs.size(), 2u);
    for (const std::wstring &run : runs)
        EXPECT_TRUE(SameFile(run.substr(run.find(L' ') + 1), FolderOf(folder) + L"\\testctl.ocx"))
            << run;
}

TEST_F(CabinetDrop, CabinetsWithoutLowerCaseControlFilesReportFailure)
{
    ASSERT_EQ(MakeCabinet(dir, "plain.cab", {Entry("a.txt", "a"), Entry("b.bin", "b")}), 1);
    std::wstring folder = DropAndFindFolder(InDir(L"plain.cab"));
    EXPECT_EQ(Report(), ListReport(folder, {L"a.txt", L"b.bin"}, kFailure));

    // Endings in another letter case are unpacked but never registered, and
    // each such file gets a line that says which ending it needs.
    ASSERT_EQ(
        MakeCabinet(dir, "upper.cab", {Entry("TESTCTL.OCX", server_), Entry("COPY.DLL", server_)}),
        1);
    folder = DropAndFindFolder(InDir(L"upper.cab"));
    const std::wstring list = ListReport(folder, {L"TESTCTL.OCX", L"COPY.DLL"}, L"");
    const std::wstring upperLine = L"注册失败:" + ReportedFolder(folder) +
                                   L"TESTCTL.OCX 原因:扩展名不是小写的.ocx，没有注册\r\n";
    const std::wstring copyLine =
        L"注册失败:" + ReportedFolder(folder) + L"COPY.DLL 原因:扩展名不是小写的.dll，没有注册\r\n";
    // In the folder's listing order.
    EXPECT_TRUE(Report() == list + upperLine + copyLine + kFailure ||
                Report() == list + copyLine + upperLine + kFailure)
        << Report();
    EXPECT_EQ(NamesIn(FolderOf(folder)), (std::vector<std::wstring>{L"COPY.DLL", L"TESTCTL.OCX"}));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"ORVI.TestCtl"));
    EXPECT_STREQ(g_statusText, L"拖入文件路径:");

    // Beside a control that registers, such a file still fails the cabinet.
    ASSERT_EQ(
        MakeCabinet(dir, "cased.cab", {Entry("testctl.ocx", server_), Entry("Sign.Ocx", server_)}),
        1);
    folder = DropAndFindFolder(InDir(L"cased.cab"));
    EXPECT_EQ(Report(), ListReport(folder, {L"testctl.ocx", L"Sign.Ocx"}, L"") + L"注册失败:" +
                            ReportedFolder(folder) +
                            L"Sign.Ocx 原因:扩展名不是小写的.ocx，没有注册\r\n" + kFailure);
    EXPECT_TRUE(SameFile(RegisteredTestServer(), FolderOf(folder) + L"\\testctl.ocx"));
}

TEST_F(CabinetDrop, DatesTimesAndAttributesAreRestored)
{
    CabEntry readOnly = Entry("readonly.txt", "r", 0x01 | 0x20 | 0x40 /* execute: dropped */);
    readOnly.date = (USHORT)(((2011 - 1980) << 9) | (3 << 5) | 4);
    readOnly.time = (USHORT)((13 << 11) | (14 << 5) | (20 / 2));
    CabEntry hidden = Entry("hidden.txt", "h", 0x02 | 0x04 | 0x20);
    ASSERT_EQ(MakeCabinet(dir, "attributes.cab", {readOnly, hidden}), 1);
    std::wstring folder = DropAndFindFolder(InDir(L"attributes.cab"));
    EXPECT_EQ(Report(), ListReport(folder, {L"readonly.txt", L"hidden.txt"}, kFailure));

    std::wstring path = FolderOf(folder) + L"\\readonly.txt";
    EXPECT_EQ(GetFileAttributesW(path.c_str()),
              (DWORD)(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE));
    EXPECT_EQ(GetFileAttributesW((FolderOf(folder) + L"\\hidden.txt").c_str()),
              (DWORD)(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE));

    // 2011-03-04 13:14:20 local time.
    SYSTEMTIME stamp = {2011, 3, 0, 4, 13, 14, 20, 0};
    FILETIME local, expected;
    ASSERT_TRUE(SystemTimeToFileTime(&stamp, &local));
    ASSERT_TRUE(LocalFileTimeToFileTime(&local, &expected));
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    ASSERT_TRUE(GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data));
    EXPECT_EQ(CompareFileTime(&data.ftLastWriteTime, &expected), 0);
    EXPECT_EQ(CompareFileTime(&data.ftCreationTime, &expected), 0);
}

TEST_F(CabinetDrop, RepeatedNameLeavesOnlyTheLastCopy)
{
    ASSERT_EQ(MakeCabinet(
                  dir, "repeat.cab",
                  {Entry("same.txt", "a long first copy of the file"), Entry("same.txt", "short")}),
              1);
    std::wstring folder = DropAndFindFolder(InDir(L"repeat.cab"));
    EXPECT_EQ(Report(), ListReport(folder, {L"same.txt", L"same.txt"}, kFailure));
    EXPECT_EQ(ReadFileBytes(FolderOf(folder) + L"\\same.txt"), "short");
}

TEST_F(CabinetDrop, StoredNamesThatLeaveTheFolderAreRefusedAndTheRestStillComesOut)
{
    // Where each name would land if it were joined to the folder unchecked.
    const std::wstring drive = SystemDrive() + L":\\";
    struct Case {
        std::string name;
        std::vector<std::wstring> outside;
    } cases[] = {
        {"sub\\inner.txt", {}},
        {"sub/inner.txt", {}},
        {"..\\..\\climbed.txt", {drive + L"climbed.txt"}},
        {"..\\sibling.txt", {BaseFolder() + L"\\sibling.txt"}},
        {"\\rooted.txt", {drive + L"rooted.txt"}},
        {"/rooted.txt", {drive + L"rooted.txt"}},
        {"C:drive.txt", {drive + L"drive.txt", TestProgramDir() + L"\\drive.txt"}},
        {"..", {}},
        {"NUL", {}},
        {"line.txt\r\n" + AnsiName(kSuccess), {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        for (const std::wstring &path : c.outside)
            DeleteFileW(path.c_str());
        RemoveFamilyKeys();
        ASSERT_EQ(MakeCabinet(
                      dir, "names.cab",
                      {Entry("first.txt", "1"), Entry(c.name, "bad"), Entry("after.ocx", server_)}),
                  1);
        std::wstring folder = DropAndFindFolder(InDir(L"names.cab"));
        std::wstring shown(c.name.begin(), c.name.end());
        if (c.name.rfind("line.txt", 0) == 0)
            shown = std::wstring(L"line.txt??") + kSuccess; // control characters are shown as '?'
        // Listed as refused, never as unpacked; the file after it is still
        // unpacked and registered, and the cabinet fails.
        EXPECT_EQ(Report(), std::wstring(kListHeader) + ReportedFolder(folder) + L"first.txt\r\n" +
                                kRefused + ReportedFolder(folder) + shown + L"\r\n" +
                                ReportedFolder(folder) + L"after.ocx\r\n" + kFailure);
        EXPECT_EQ(NamesIn(FolderOf(folder)),
                  (std::vector<std::wstring>{L"after.ocx", L"first.txt"}));
        EXPECT_TRUE(SameFile(RegisteredTestServer(), FolderOf(folder) + L"\\after.ocx"));
        for (const std::wstring &path : c.outside)
            EXPECT_FALSE(FileExists(path)) << "written outside the folder";
    }
    std::vector<std::wstring> base = NamesIn(BaseFolder());
    for (const std::wstring &name : base)
        EXPECT_EQ(GetFileAttributesW(FolderOf(name).c_str()) & FILE_ATTRIBUTE_DIRECTORY,
                  (DWORD)FILE_ATTRIBUTE_DIRECTORY)
            << name;
}

TEST_F(CabinetDrop, EmptyCabinetListsNothing)
{
    // A bare header: no folder, no file.
    std::string header(
        "MSCF\0\0\0\0\x24\0\0\0\0\0\0\0\x24\0\0\0\0\0\0\0\x03\x01\0\0\0\0\0\0\x34\x12\0\0", 36);
    WriteFileBytes(InDir(L"empty.cab"), header);
    std::wstring folder = DropAndFindFolder(InDir(L"empty.cab"));
    EXPECT_EQ(Report(), std::wstring(kListHeader) + kFailure);
    EXPECT_TRUE(NamesIn(FolderOf(folder)).empty());
    EXPECT_STREQ(g_statusText, L"拖入文件路径:");
}

// What came out whole before the damage is registered, a part of a file
// never is, and the cabinet fails.
TEST_F(CabinetDrop, DamagedCabinetRegistersWhatCameOutWholeBeforeTheDamage)
{
    std::string big(300000, '\0');
    for (size_t i = 0; i < big.size(); i++)
        big[i] = (char)(i * 7 + i / 251);
    ASSERT_EQ(MakeCabinet(dir, "damaged.cab",
                          {Entry("testctl.ocx", server_), Entry("big.dll", big)}, false),
              1);
    std::string bytes = ReadFileBytes(InDir(L"damaged.cab"));
    WriteFileBytes(InDir(L"damaged.cab"), bytes.substr(0, bytes.size() - 150000));

    std::wstring folder = DropAndFindFolder(InDir(L"damaged.cab"));
    EXPECT_EQ(Report(),
              ListReport(folder, {L"testctl.ocx", L"big.dll"}, L"") + kStopped + kFailure);
    EXPECT_TRUE(ReadFileBytes(FolderOf(folder) + L"\\testctl.ocx") == server_);
    EXPECT_LT(ReadFileBytes(FolderOf(folder) + L"\\big.dll").size(), big.size());
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, L"ORVI.TestCtl"));

    // Two stored names that differ in letter case only name one file: the
    // first is written whole, the second over it is cut short. The one file
    // the folder lists holds the cut writing and is not registered.
    RemoveFamilyKeys();
    ASSERT_EQ(MakeCabinet(dir, "cased.cab",
                          {Entry("OrviSeal.ocx", server_), Entry("orviseal.ocx", server_ + big)},
                          false),
              1);
    std::string cased = ReadFileBytes(InDir(L"cased.cab"));
    WriteFileBytes(InDir(L"cased.cab"), cased.substr(0, cased.size() - 150000));
    folder = DropAndFindFolder(InDir(L"cased.cab"));
    EXPECT_EQ(Report(),
              ListReport(folder, {L"OrviSeal.ocx", L"orviseal.ocx"}, L"") + kStopped + kFailure);
    EXPECT_EQ(1u, NamesIn(FolderOf(folder)).size());
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"ORVI.TestCtl"));

    // A cut header and a file that is no cabinet at all: nothing comes out, and the report says so.
    WriteFileBytes(InDir(L"header.cab"), bytes.substr(0, 20));
    WriteFileBytes(InDir(L"text.cab"), "just some text, not a cabinet");
    for (const wchar_t *name : {L"header.cab", L"text.cab"}) {
        DropAndFindFolder(InDir(name));
        EXPECT_EQ(Report(), std::wstring(kListHeader) + kNotACabinet + kFailure);
    }
    EXPECT_TRUE(TakeBoxes().empty());
}

TEST_F(CabinetDrop, SpanningSetUnpacksAcrossItsPartsAndEndsWhenOneIsMissing)
{
    ASSERT_GE(MakeCabinetSet(dir, "control%d.cab",
                             {Entry("small.txt", "s"), Entry("testctl.ocx", server_)}, 60000),
              3);
    std::wstring folder = DropAndFindFolder(InDir(L"control1.cab"));
    EXPECT_EQ(Report(), ListReport(folder, {L"small.txt", L"testctl.ocx"}, kSuccess));
    EXPECT_TRUE(ReadFileBytes(FolderOf(folder) + L"\\testctl.ocx") == server_);
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, L"ORVI.TestCtl"));

    // Without its second part the copy ends at the file that needs it.
    std::string big(150000, 'x');
    ASSERT_GE(MakeCabinetSet(
                  dir, "text%d.cab",
                  {Entry("small.txt", "s"), Entry("big.txt", big), Entry("later.txt", "l")}, 60000),
              3);
    ASSERT_TRUE(DeleteFileW(InDir(L"text2.cab").c_str()));
    folder = DropAndFindFolder(InDir(L"text1.cab"));
    EXPECT_EQ(Report(), ListReport(folder, {L"small.txt", L"big.txt"}, L"") + kStopped + kFailure);
    EXPECT_EQ(ReadFileBytes(FolderOf(folder) + L"\\small.txt"), "s");
    EXPECT_LT(ReadFileBytes(FolderOf(folder) + L"\\big.txt").size(), big.size());
}

// Drops in a row, each of them into a folder, a copy and a report of its own.
TEST_F(CabinetDrop, EveryDropGetsAFreshFolder)
{
    // A read-only file left in a shared folder would end a second copy.
    ASSERT_EQ(MakeCabinet(dir, "twice.cab",
                          {Entry("locked.txt", "first", 0x21), Entry("testctl.ocx", server_)}),
              1);
    std::set<std::wstring> made;
    for (int i = 0; i < kDrops; i++) {
        SCOPED_TRACE("drop " + std::to_string(i));
        std::wstring folder = DropAndFindFolder(InDir(L"twice.cab"));
        made.insert(folder);
        EXPECT_EQ(Report(), ListReport(folder, {L"locked.txt", L"testctl.ocx"}, kSuccess));
        EXPECT_STREQ(g_statusText, L"拖入文件路径:");
        EXPECT_EQ(NamesIn(FolderOf(folder)),
                  (std::vector<std::wstring>{L"locked.txt", L"testctl.ocx"}));
        EXPECT_EQ(ReadFileBytes(FolderOf(folder) + L"\\locked.txt"), "first");
        EXPECT_TRUE(ReadFileBytes(FolderOf(folder) + L"\\testctl.ocx") == server_);
    }
    EXPECT_EQ(made.size(), (size_t)kDrops);
    std::vector<std::wstring> numbers = NewFolders();
    ASSERT_EQ(numbers.size(), (size_t)kDrops);
    EXPECT_TRUE(TakeBoxes().empty());

    // Folders of this second and the next ones taken already: the next free number is used.
    long long now = std::max(SecondsNow(), _wtoi64(numbers.back().c_str()) + 1);
    std::vector<std::wstring> taken;
    for (long long n = now; n < now + 4; n++) {
        taken.push_back(std::to_wstring(n));
        CreateDirectoryW(FolderOf(taken.back()).c_str(), NULL);
    }
    std::wstring folder = DropAndFindFolder(InDir(L"twice.cab"));
    EXPECT_GE(_wtoi64(folder.c_str()), now + 4);
    for (const std::wstring &number : taken)
        EXPECT_TRUE(NamesIn(FolderOf(number)).empty()) << number;
    EXPECT_EQ(Report(), ListReport(folder, {L"locked.txt", L"testctl.ocx"}, kSuccess));
}

TEST_F(CabinetDrop, NoFreeFolderNumberEndsWithTheErrorBox)
{
    ASSERT_EQ(MakeCabinet(dir, "busy.cab", {Entry("a.txt", "a")}), 1);
    long long now = SecondsNow();
    CreateDirectoryW(BaseFolder().c_str(), NULL);
    for (long long n = now; n < now + 130; n++)
        CreateDirectoryW(FolderOf(std::to_wstring(n)).c_str(), NULL);
    std::set<std::wstring> before = Folders();
    SetWindowTextW(g_infoEdit, L"earlier report");
    TakeBoxes();

    SendDrop(window, {InDir(L"busy.cab")});
    std::vector<BoxRecord> boxes = TakeBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, L"error");
    EXPECT_EQ(boxes[0].caption, L"");
    // Owned by the edit, which makes its main window the box's owner.
    EXPECT_EQ(boxes[0].owner, GetAncestor(g_infoEdit, GA_ROOT));
    EXPECT_EQ(Folders(), before);
    EXPECT_EQ(Report(), L"earlier report");
    EXPECT_STREQ(g_statusText, L"拖入文件路径:");
}

TEST_F(CabinetDrop, BaseFolderThatIsAPlainFileIsRefused)
{
    // The base folder is a plain file: it cannot be used, and the report says
    // what to do.
    ASSERT_EQ(MakeCabinet(dir, "blocked.cab", {Entry("testctl.ocx", server_)}), 1);
    const std::wstring base = BaseFolder(), away = BaseFolder() + L".away";
    bool hadBase = GetFileAttributesW(base.c_str()) != INVALID_FILE_ATTRIBUTES;
    ASSERT_TRUE(!hadBase || MoveFileW(base.c_str(), away.c_str()));
    WriteFileBytes(base, "a plain file");
    SetWindowTextW(g_infoEdit, L"earlier report");
    TakeBoxes();

    SendDrop(window, {InDir(L"blocked.cab")});
    std::vector<BoxRecord> boxes = TakeBoxes();
    std::wstring report = Report();
    std::string left = ReadFileBytes(base);
    DeleteFileW(base.c_str());
    ASSERT_TRUE(!hadBase || MoveFileW(away.c_str(), base.c_str()));

    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(report, L"ERROR:系统盘根目录的OrviActiveX文件夹不安全（不是管理员建立的、是连接点或"
                      L"不是文件夹），请管理员把它改名后再试！");
    EXPECT_EQ(left, "a plain file");
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"ORVI.TestCtl"));
    EXPECT_STREQ(g_statusText, L"拖入文件路径:");
}

TEST_F(CabinetDrop, PathOutsideTheAnsiCodePageGoesToTheDecompressorShort)
{
    // "한국" has no form in code page 936: the decompressor gets the short path.
    std::wstring korean = dir + L"\\한국";
    ASSERT_TRUE(CreateDirectoryW(korean.c_str(), NULL));
    ASSERT_EQ(MakeCabinet(dir, "k.cab", {Entry("testctl.ocx", server_)}), 1);
    ASSERT_TRUE(MoveFileW(InDir(L"k.cab").c_str(), (korean + L"\\k.cab").c_str()));
    std::wstring folder = DropAndFindFolder(korean + L"\\k.cab");
    ASSERT_FALSE(g_shownTexts.empty());
    EXPECT_EQ(g_shownTexts[0], L"拖入文件路径:" + korean + L"\\k.cab\r\n新建文件夹:" +
                                   ReportedFolder(folder) + L"\r\n");
    EXPECT_EQ(Report(), ListReport(folder, {L"testctl.ocx"}, kSuccess));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, L"ORVI.TestCtl"));

    // Where even the short path does not help, nothing is made.
    std::wstring deep = dir;
    while (deep.size() < 260) {
        deep += L"\\deepdeep";
        ASSERT_TRUE(CreateDirectoryW(deep.c_str(), NULL));
    }
    deep += L"\\한국";
    ASSERT_TRUE(CreateDirectoryW(deep.c_str(), NULL));
    ASSERT_TRUE(MoveFileW((korean + L"\\k.cab").c_str(), (deep + L"\\k.cab").c_str()));
    struct {
        std::wstring path;
        const wchar_t *refusal;
    } refused[] = {{deep + L"\\k.cab", kTooLong},
                   {korean + L"\\missing.cab", L"ERROR:拖入文件路径含有无法转换的字符！"}};
    for (const auto &r : refused) {
        std::set<std::wstring> before = Folders();
        SendDrop(window, {r.path});
        EXPECT_EQ(Report(), r.refusal) << r.path;
        EXPECT_EQ(Folders(), before) << r.path;
    }
}

TEST_F(CabinetDrop, DoubleByteNamesWithSeparatorLikeBytesAreUnpackedAndRegistered)
{
    // In code page 936 "淺" is 9C 5C and "東" is 96 7C: a backslash and a bar as second bytes.
    ASSERT_EQ(AnsiName(L"淺"), "\x9c\x5c");
    ASSERT_EQ(MakeCabinet(dir, "trail.cab",
                          {Entry(AnsiName(L"東.txt"), "east"), Entry(AnsiName(L"淺.ocx"), server_),
                           Entry("after.txt", "a")}),
              1);
    std::wstring folder = DropAndFindFolder(InDir(L"trail.cab"));
    EXPECT_EQ(Report(), ListReport(folder, {L"東.txt", L"淺.ocx", L"after.txt"}, kSuccess));
    EXPECT_EQ(NamesIn(FolderOf(folder)),
              (std::vector<std::wstring>{L"after.txt", L"東.txt", L"淺.ocx"}));
    EXPECT_EQ(ReadFileBytes(FolderOf(folder) + L"\\東.txt"), "east");
    std::wstring server = RegisteredTestServer();
    EXPECT_TRUE(SameFile(server, FolderOf(folder) + L"\\淺.ocx")) << server;
}

TEST_F(CabinetDrop, TwoThousandFilesAreAllUnpackedAndTheCutReportKeepsItsStatusLine)
{
    std::vector<CabEntry> entries;
    for (int i = 0; i < 2000; i++) {
        std::string name = "f" + std::to_string(10000 + i) + ".txt";
        entries.push_back(Entry(name, name));
    }
    // Last, far beyond the cut of the report: still registered.
    entries.push_back(Entry("testctl.ocx", server_));
    ASSERT_EQ(MakeCabinet(dir, "many.cab", entries), 1);
    size_t listed = 0;
    std::wstring folder = Unpack(InDir(L"many.cab"), &listed);

    // Whole lines only, then the cut mark and the status line.
    std::wstring report = Report();
    std::wstring expected = kListHeader;
    for (size_t i = 0; i < listed; i++)
        expected += ReportedFolder(folder) + L"f" + std::to_wstring(10000 + i) + L".txt\r\n";
    EXPECT_EQ(report, expected + L"…\r\n" + kSuccess);
    EXPECT_GT(listed, 10u);
    EXPECT_LT(listed, 100u);
    // The edit paints again after the cabinet, scrolled down to the status line.
    EXPECT_TRUE(IsWindowVisible(g_infoEdit));
    RECT client;
    GetClientRect(g_infoEdit, &client);
    LRESULT last = SendMessageW(g_infoEdit, EM_POSFROMCHAR, report.size() - 1, 0);
    EXPECT_GT(SendMessageW(g_infoEdit, EM_GETFIRSTVISIBLELINE, 0, 0), 0);
    EXPECT_GE((short)HIWORD(last), 0);
    EXPECT_LT((short)HIWORD(last), client.bottom);

    std::vector<std::wstring> files = NamesIn(FolderOf(folder));
    ASSERT_EQ(files.size(), entries.size());
    for (const CabEntry &entry : entries) {
        if (entry.storedName == "testctl.ocx")
            continue;
        std::wstring name(entry.storedName.begin(), entry.storedName.end());
        ASSERT_EQ(ReadFileBytes(FolderOf(folder) + L"\\" + name), entry.bytes) << entry.storedName;
    }
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, L"ORVI.TestCtl"));
}

TEST_F(CabinetDrop, OverlongCabinetPathIsRefusedWithoutUnpacking)
{
    std::wstring path = L"C:\\" + std::wstring(950, L'p') + L".cab";
    SendDrop(window, {path});
    EXPECT_EQ(Report(), kTooLong);
    EXPECT_TRUE(NewFolders().empty());
    EXPECT_STREQ(g_statusText, L"拖入文件路径:");
}

// One seeded corruption of a valid cabinet; says what it did.
std::string Corrupt(const std::string &valid, std::mt19937 &random, std::string *what)
{
    std::string bytes = valid;
    auto at = [&](size_t limit) { return (size_t)(random() % std::min(limit, bytes.size())); };
    switch (random() % 6) {
    case 0: { // a few flipped bits anywhere
        int flips = 1 + random() % 8;
        for (int i = 0; i < flips; i++)
            bytes[at(bytes.size())] ^= (char)(1 << (random() % 8));
        *what = "flipped bits";
        break;
    }
    case 1: { // random bytes in the headers, folder and file entries
        int n = 1 + random() % 4;
        for (int i = 0; i < n; i++)
            bytes[at(0x80)] = (char)random();
        *what = "header bytes";
        break;
    }
    case 2: // cut short
        bytes.resize(at(bytes.size()));
        *what = "cut at " + std::to_string(bytes.size());
        break;
    case 3: { // a run of random bytes
        size_t start = at(bytes.size());
        size_t n = std::min<size_t>(1 + random() % 64, bytes.size() - start);
        for (size_t i = 0; i < n; i++)
            bytes[start + i] = (char)random();
        *what = "random run at " + std::to_string(start);
        break;
    }
    case 4: { // a 16- or 32-bit header field set to an extreme
        static const unsigned kExtremes[] = {0, 1, 0x7FFF, 0xFFFF, 0x7FFFFFFF, 0xFFFFFFFF};
        unsigned value = kExtremes[random() % 6];
        size_t start = at(0x60) & ~(size_t)1;
        size_t width = random() % 2 ? 2 : 4;
        for (size_t i = 0; i < width && start + i < bytes.size(); i++)
            bytes[start + i] = (char)(value >> (8 * i));
        *what = "field at " + std::to_string(start) + " = " + std::to_string(value);
        break;
    }
    default: { // a chunk copied over another place
        size_t from = at(bytes.size()), to = at(bytes.size());
        size_t n = std::min<size_t>(1 + random() % 512, bytes.size() - std::max(from, to));
        bytes.replace(to, n, valid.substr(from, n));
        *what = "chunk moved to " + std::to_string(to);
        break;
    }
    }
    return bytes;
}

TEST_F(CabinetDrop, TwoHundredCorruptedCabinetsEachEndWithAStatusLineInsideTheirFolder)
{
    std::vector<CabEntry> entries = {
        Entry("a.txt", "first file"), Entry("b.bin", PseudoRandomBytes(20000, 1)),
        Entry("c.txt", PseudoRandomBytes(70000, 2)), Entry("d.txt", "last")};
    ASSERT_EQ(MakeCabinet(dir, "zip.cab", entries, true), 1);
    ASSERT_EQ(MakeCabinet(dir, "stored.cab", entries, false), 1);
    const std::string valid[] = {ReadFileBytes(InDir(L"zip.cab")),
                                 ReadFileBytes(InDir(L"stored.cab"))};

    // The valid ones unpack whole.
    for (const std::wstring name : {L"zip.cab", L"stored.cab"}) {
        std::wstring folder = Unpack(InDir(name));
        EXPECT_EQ(NamesIn(FolderOf(folder)),
                  (std::vector<std::wstring>{L"a.txt", L"b.bin", L"c.txt", L"d.txt"}));
        EXPECT_EQ(ReadFileBytes(FolderOf(folder) + L"\\c.txt"), entries[2].bytes);
        RemoveTree(FolderOf(folder));
    }

    std::mt19937 random(20240611);
    int withFiles = 0, whole = 0;
    for (int i = 0; i < 200; i++) {
        std::string what;
        std::string bytes = Corrupt(valid[i % 2], random, &what);
        SCOPED_TRACE("case " + std::to_string(i) + ": " + what);
        WriteFileBytes(InDir(L"bad.cab"), bytes);
        std::wstring folder = Unpack(InDir(L"bad.cab"));
        withFiles += !NamesIn(FolderOf(folder)).empty();
        whole += NamesIn(FolderOf(folder)).size() == 4 &&
                 ReadFileBytes(FolderOf(folder) + L"\\c.txt") == entries[2].bytes &&
                 ReadFileBytes(FolderOf(folder) + L"\\b.bin") == entries[1].bytes;
        RemoveTree(FolderOf(folder));
        if (HasFatalFailure() || ::testing::Test::HasFailure())
            break; // one case's detail is enough
    }
    // The corruptions reach every side: some give nothing, some damaged or
    // fewer files, some still all of them.
    EXPECT_LT(withFiles, 200);
    EXPECT_GT(withFiles, whole);
    EXPECT_GT(whole, 0);
}

TEST_F(CabinetDrop, StoredNamesOfTwoHundredFiftyFiveBytes)
{
    // 255 bytes: the longest name the cabinet format stores.
    std::string control = std::string(251, 'c') + ".ocx";
    std::string text = std::string(251, 't') + ".txt";
    ASSERT_EQ(MakeCabinet(dir, "long.cab", {Entry(text, "text"), Entry(control, server_)}), 1);
    std::wstring folder = Unpack(InDir(L"long.cab"));
    std::wstring wideText(text.begin(), text.end()), wideControl(control.begin(), control.end());
    EXPECT_EQ(Report(), std::wstring(kListHeader) + ReportedFolder(folder) + wideText + L"\r\n" +
                            ReportedFolder(folder) + wideControl + L"\r\n" + kSuccess);
    EXPECT_EQ(ReadFileBytes(FolderOf(folder) + L"\\" + wideText), "text");
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, L"ORVI.TestCtl"));

    // 255 bytes of double-byte characters (code page 936): 127 characters.
    // Wine keeps a host file name within 255 bytes of UTF-8 by cutting it,
    // so there the folder then lists a shorter name; Windows keeps it whole.
    // Registration follows what the folder lists, never the cut name.
    RemoveFamilyKeys();
    std::wstring wideName = std::wstring(125, L'中') + L"9.ocx";
    std::string ansi = AnsiName(wideName);
    ASSERT_EQ(ansi.size(), 255u);
    ASSERT_EQ(MakeCabinet(dir, "wide.cab", {Entry(ansi, server_), Entry("after.txt", "after")}), 1);
    folder = Unpack(InDir(L"wide.cab"));
    std::vector<std::wstring> files = NamesIn(FolderOf(folder));
    bool keptWhole = std::find(files.begin(), files.end(), wideName) != files.end();
    EXPECT_EQ(files.size(), 2u);
    EXPECT_EQ(Report(), std::wstring(kListHeader) + ReportedFolder(folder) + wideName + L"\r\n" +
                            ReportedFolder(folder) + L"after.txt\r\n" +
                            (keptWhole ? kSuccess : kFailure));
    EXPECT_TRUE(ReadFileBytes(FolderOf(folder) + L"\\" + wideName) == server_);
    EXPECT_EQ(ReadFileBytes(FolderOf(folder) + L"\\after.txt"), "after");
    EXPECT_EQ(KeyExists(HKEY_CLASSES_ROOT, L"ORVI.TestCtl"), keptWhole);
    printf("a 255-byte double-byte name: %s\n",
           keptWhole ? "kept whole, registered" : "cut by the host, not registered");
}

} // namespace
