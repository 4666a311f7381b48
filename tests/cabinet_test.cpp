// Dropped cabinets: unpacking with the real cabinet.dll into fresh folders at
// the root of the system drive, the report in the processing edit, and the
// registration of the test control with the real regsvr32.exe. Cabinets are
// made at run time with cabinet.dll's FCI.
#include "support/cabinet_maker.h"
#include "support/test_support.h"

#include "app/app.h"
#include "register/cabinet.h"
#include "register/register.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

namespace {

const wchar_t kSuccess[] = L"注册状态:注册成功！";
const wchar_t kFailure[] = L"注册状态:注册失败！";
const wchar_t kListHeader[] = L"解压文件列表:\r\n";

long long UnixNow()
{
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    ULONGLONG ticks = ((ULONGLONG)now.dwHighDateTime << 32) | now.dwLowDateTime;
    return (long long)((ticks - 116444736000000000ULL) / 10000000ULL);
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

class CabinetDrop : public ::testing::Test {
protected:
    void SetUp() override
    {
        StartAnsweringBoxes();
        RemoveFamilyKeys();
        scratch_ = MakeScratchDir(L"cabinets");
        existing_ = Folders();
        window_ = StartMainWindow();
        g_shownTexts.clear();
        g_onShow = nullptr;
        g_editProc = (WNDPROC)SetWindowLongPtrW(g_infoEdit, GWLP_WNDPROC, (LONG_PTR)RecordingEditProc);
        // An extraction that never ends would hang the test program: end it instead.
        StartWatchdog(120000, "a cabinet drop");
        server_ = ReadFileBytes(TestServerPath());
        ASSERT_FALSE(server_.empty());
    }

    void TearDown() override
    {
        StopWatchdog();
        CloseMainWindow(window_);
        for (const std::wstring &number : NewFolders())
            RemoveTree(FolderOf(number));
        RemoveFamilyKeys();
        StopAnsweringBoxes();
    }

    std::set<std::wstring> Folders()
    {
        std::vector<std::wstring> names = NamesIn(BaseFolder());
        return std::set<std::wstring>(names.begin(), names.end());
    }

    // Extraction folders made since the test began, oldest number first.
    std::vector<std::wstring> NewFolders()
    {
        std::vector<std::wstring> made;
        for (const std::wstring &name : Folders()) {
            if (!existing_.count(name))
                made.push_back(name);
        }
        std::sort(made.begin(), made.end(),
                  [](const std::wstring &a, const std::wstring &b) { return _wtoi64(a.c_str()) < _wtoi64(b.c_str()); });
        return made;
    }

    std::wstring Cab(const std::wstring &name) { return scratch_ + L"\\" + name; }

    // Drops the cabinet and returns the one folder the drop made.
    std::wstring DropAndFindFolder(const std::wstring &cab)
    {
        std::set<std::wstring> before = Folders();
        SendDrop(window_, {cab});
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

    std::wstring Report() { return WindowText(g_infoEdit); }

    HWND window_ = NULL;
    std::wstring scratch_;
    std::string server_;
    std::set<std::wstring> existing_;
};

TEST_F(CabinetDrop, ControlAndTextFileAreUnpackedListedAndRegistered)
{
    ASSERT_EQ(MakeCabinet(scratch_, "control.cab", {Entry("testctl.ocx", server_), Entry("readme.txt", "hello")}), 1);
    std::wstring folder = DropAndFindFolder(Cab(L"control.cab"));

    // Before unpacking: the cabinet path and the new folder, with ASCII colons.
    ASSERT_GE(g_shownTexts.size(), 3u);
    EXPECT_EQ(g_shownTexts[0],
              L"拖入文件路径:" + Cab(L"control.cab") + L"\r\n新建文件夹:" + ReportedFolder(folder) + L"\r\n");
    EXPECT_EQ(g_shownTexts[1], ListReport(folder, {L"testctl.ocx"}, L""));
    EXPECT_EQ(Report(), ListReport(folder, {L"testctl.ocx", L"readme.txt"}, kSuccess));
    EXPECT_STREQ(g_statusText, L"拖入文件路径:");
    EXPECT_EQ(WindowText(g_pathEdit), Cab(L"control.cab"));

    EXPECT_EQ(NamesIn(FolderOf(folder)), (std::vector<std::wstring>{L"readme.txt", L"testctl.ocx"}));
    EXPECT_EQ(ReadFileBytes(FolderOf(folder) + L"\\readme.txt"), "hello");
    EXPECT_TRUE(ReadFileBytes(FolderOf(folder) + L"\\testctl.ocx") == server_);
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, L"ORVI.TestCtl"));
    std::wstring server = ReadStringValue(HKEY_CLASSES_ROOT,
                                          L"CLSID\\{0D1C2B3A-4E5F-4a6b-8C7D-9E0F1A2B3C4D}\\InprocServer32");
    EXPECT_TRUE(SameFile(server, FolderOf(folder) + L"\\testctl.ocx")) << server;

    // The next cabinet's report starts afresh.
    g_shownTexts.clear();
    std::wstring second = DropAndFindFolder(Cab(L"control.cab"));
    ASSERT_FALSE(g_shownTexts.empty());
    EXPECT_EQ(g_shownTexts[0].rfind(L"拖入文件路径:" + Cab(L"control.cab") + L"\r\n新建文件夹:", 0), 0u);
    EXPECT_EQ(Report(), ListReport(second, {L"testctl.ocx", L"readme.txt"}, kSuccess));
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
    std::wstring log = scratch_ + L"\\server.log";
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
    ASSERT_EQ(MakeCabinet(scratch_, "control.cab", {Entry("testctl.ocx", server_), Entry("readme.txt", "hello")}), 1);
    std::wstring folder = DropAndFindFolder(Cab(L"control.cab"));
    g_onShow = nullptr;
    SetEnv(L"ORVI_TEST_LOG", NULL);

    EXPECT_EQ(g_plantedIn, ReportedFolder(folder));
    EXPECT_EQ(NamesIn(FolderOf(folder)), (std::vector<std::wstring>{L"planted.dll", L"readme.txt", L"testctl.ocx"}));
    EXPECT_FALSE(g_folderMoved);
    EXPECT_EQ(Report(), ListReport(folder, {L"testctl.ocx", L"readme.txt"}, kSuccess));
    std::vector<std::wstring> runs = ReadServerLog(log);
    ASSERT_EQ(runs.size(), 2u);
    for (const std::wstring &run : runs)
        EXPECT_TRUE(SameFile(run.substr(run.find(L' ') + 1), FolderOf(folder) + L"\\testctl.ocx")) << run;
}

TEST_F(CabinetDrop, CabinetsWithoutLowerCaseControlFilesReportFailure)
{
    ASSERT_EQ(MakeCabinet(scratch_, "plain.cab", {Entry("a.txt", "a"), Entry("b.bin", "b")}), 1);
    std::wstring folder = DropAndFindFolder(Cab(L"plain.cab"));
    EXPECT_EQ(Report(), ListReport(folder, {L"a.txt", L"b.bin"}, kFailure));

    // Upper-case endings are unpacked but never registered.
    ASSERT_EQ(MakeCabinet(scratch_, "upper.cab", {Entry("TESTCTL.OCX", server_), Entry("COPY.DLL", server_)}), 1);
    folder = DropAndFindFolder(Cab(L"upper.cab"));
    EXPECT_EQ(Report(), ListReport(folder, {L"TESTCTL.OCX", L"COPY.DLL"}, kFailure));
    EXPECT_EQ(NamesIn(FolderOf(folder)), (std::vector<std::wstring>{L"COPY.DLL", L"TESTCTL.OCX"}));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"ORVI.TestCtl"));
    EXPECT_STREQ(g_statusText, L"拖入文件路径:");
}

TEST_F(CabinetDrop, DatesTimesAndAttributesAreRestored)
{
    CabEntry readOnly = Entry("readonly.txt", "r", 0x01 | 0x20 | 0x40 /* execute: dropped */);
    readOnly.date = (USHORT)(((2011 - 1980) << 9) | (3 << 5) | 4);
    readOnly.time = (USHORT)((13 << 11) | (14 << 5) | (20 / 2));
    CabEntry hidden = Entry("hidden.txt", "h", 0x02 | 0x04 | 0x20);
    ASSERT_EQ(MakeCabinet(scratch_, "attributes.cab", {readOnly, hidden}), 1);
    std::wstring folder = DropAndFindFolder(Cab(L"attributes.cab"));
    EXPECT_EQ(Report(), ListReport(folder, {L"readonly.txt", L"hidden.txt"}, kFailure));

    std::wstring path = FolderOf(folder) + L"\\readonly.txt";
    EXPECT_EQ(GetFileAttributesW(path.c_str()), (DWORD)(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE));
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
    ASSERT_EQ(MakeCabinet(scratch_, "repeat.cab",
                          {Entry("same.txt", "a long first copy of the file"), Entry("same.txt", "short")}),
              1);
    std::wstring folder = DropAndFindFolder(Cab(L"repeat.cab"));
    EXPECT_EQ(Report(), ListReport(folder, {L"same.txt", L"same.txt"}, kFailure));
    EXPECT_EQ(ReadFileBytes(FolderOf(folder) + L"\\same.txt"), "short");
}

TEST_F(CabinetDrop, StoredNamesThatLeaveTheFolderStopTheCopyThere)
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
        ASSERT_EQ(MakeCabinet(scratch_, "names.cab",
                              {Entry("first.txt", "1"), Entry(c.name, "bad"), Entry("after.txt", "2")}),
                  1);
        std::wstring folder = DropAndFindFolder(Cab(L"names.cab"));
        std::wstring shown(c.name.begin(), c.name.end());
        if (c.name.rfind("line.txt", 0) == 0)
            shown = std::wstring(L"line.txt??") + kSuccess; // control characters are shown as '?'
        EXPECT_EQ(Report(), ListReport(folder, {L"first.txt", shown}, kFailure));
        EXPECT_EQ(NamesIn(FolderOf(folder)), std::vector<std::wstring>{L"first.txt"});
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
    std::string header("MSCF\0\0\0\0\x24\0\0\0\0\0\0\0\x24\0\0\0\0\0\0\0\x03\x01\0\0\0\0\0\0\x34\x12\0\0", 36);
    WriteFileBytes(Cab(L"empty.cab"), header);
    std::wstring folder = DropAndFindFolder(Cab(L"empty.cab"));
    EXPECT_EQ(Report(), std::wstring(kListHeader) + kFailure);
    EXPECT_TRUE(NamesIn(FolderOf(folder)).empty());
    EXPECT_STREQ(g_statusText, L"拖入文件路径:");
}

TEST_F(CabinetDrop, DamagedCabinetRegistersWhatCameOutBeforeTheDamage)
{
    std::string big(300000, '\0');
    for (size_t i = 0; i < big.size(); i++)
        big[i] = (char)(i * 7 + i / 251);
    ASSERT_EQ(MakeCabinet(scratch_, "damaged.cab", {Entry("testctl.ocx", server_), Entry("big.txt", big)}, false), 1);
    std::string bytes = ReadFileBytes(Cab(L"damaged.cab"));
    WriteFileBytes(Cab(L"damaged.cab"), bytes.substr(0, bytes.size() - 150000));

    std::wstring folder = DropAndFindFolder(Cab(L"damaged.cab"));
    EXPECT_EQ(Report(), ListReport(folder, {L"testctl.ocx", L"big.txt"}, kSuccess));
    EXPECT_TRUE(ReadFileBytes(FolderOf(folder) + L"\\testctl.ocx") == server_);
    EXPECT_LT(ReadFileBytes(FolderOf(folder) + L"\\big.txt").size(), big.size());
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, L"ORVI.TestCtl"));

    // A cut header and a file that is no cabinet at all give an empty list.
    WriteFileBytes(Cab(L"header.cab"), bytes.substr(0, 20));
    WriteFileBytes(Cab(L"text.cab"), "just some text, not a cabinet");
    for (const wchar_t *name : {L"header.cab", L"text.cab"}) {
        DropAndFindFolder(Cab(name));
        EXPECT_EQ(Report(), std::wstring(kListHeader) + kFailure);
    }
    EXPECT_TRUE(TakeBoxes().empty());
}

TEST_F(CabinetDrop, SpanningSetUnpacksAcrossItsPartsAndEndsWhenOneIsMissing)
{
    ASSERT_GE(MakeCabinetSet(scratch_, "control%d.cab", {Entry("small.txt", "s"), Entry("testctl.ocx", server_)}, 60000),
              3);
    std::wstring folder = DropAndFindFolder(Cab(L"control1.cab"));
    EXPECT_EQ(Report(), ListReport(folder, {L"small.txt", L"testctl.ocx"}, kSuccess));
    EXPECT_TRUE(ReadFileBytes(FolderOf(folder) + L"\\testctl.ocx") == server_);
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, L"ORVI.TestCtl"));

    // Without its second part the copy ends at the file that needs it.
    std::string big(150000, 'x');
    ASSERT_GE(MakeCabinetSet(scratch_, "text%d.cab", {Entry("small.txt", "s"), Entry("big.txt", big),
                                                      Entry("later.txt", "l")}, 60000),
              3);
    ASSERT_TRUE(DeleteFileW(Cab(L"text2.cab").c_str()));
    folder = DropAndFindFolder(Cab(L"text1.cab"));
    EXPECT_EQ(Report(), ListReport(folder, {L"small.txt", L"big.txt"}, kFailure));
    EXPECT_EQ(ReadFileBytes(FolderOf(folder) + L"\\small.txt"), "s");
    EXPECT_LT(ReadFileBytes(FolderOf(folder) + L"\\big.txt").size(), big.size());
}

TEST_F(CabinetDrop, EveryDropGetsAFreshFolder)
{
    // A read-only file left in a shared folder would end a second copy.
    ASSERT_EQ(MakeCabinet(scratch_, "twice.cab", {Entry("locked.txt", "first", 0x21), Entry("testctl.ocx", server_)}),
              1);
    SendDrop(window_, {Cab(L"twice.cab")});
    SendDrop(window_, {Cab(L"twice.cab")});
    std::vector<std::wstring> made = NewFolders();
    ASSERT_EQ(made.size(), 2u);
    for (const std::wstring &folder : made)
        EXPECT_EQ(NamesIn(FolderOf(folder)), (std::vector<std::wstring>{L"locked.txt", L"testctl.ocx"}));
    EXPECT_EQ(Report(), ListReport(made[1], {L"locked.txt", L"testctl.ocx"}, kSuccess));

    // Folders of this second and the next ones taken already: the next free number is used.
    long long now = std::max(UnixNow(), _wtoi64(made[1].c_str()) + 1);
    CreateDirectoryW(BaseFolder().c_str(), NULL);
    std::vector<std::wstring> taken;
    for (long long n = now; n < now + 4; n++) {
        taken.push_back(std::to_wstring(n));
        CreateDirectoryW(FolderOf(taken.back()).c_str(), NULL);
    }
    std::wstring folder = DropAndFindFolder(Cab(L"twice.cab"));
    EXPECT_GE(_wtoi64(folder.c_str()), now + 4);
    for (const std::wstring &number : taken)
        EXPECT_TRUE(NamesIn(FolderOf(number)).empty()) << number;
    EXPECT_EQ(Report(), ListReport(folder, {L"locked.txt", L"testctl.ocx"}, kSuccess));
}

TEST_F(CabinetDrop, NoFreeFolderNumberEndsWithTheErrorBox)
{
    ASSERT_EQ(MakeCabinet(scratch_, "busy.cab", {Entry("a.txt", "a")}), 1);
    long long now = UnixNow();
    CreateDirectoryW(BaseFolder().c_str(), NULL);
    for (long long n = now; n < now + 130; n++)
        CreateDirectoryW(FolderOf(std::to_wstring(n)).c_str(), NULL);
    std::set<std::wstring> before = Folders();
    SetWindowTextW(g_infoEdit, L"earlier report");
    TakeBoxes();

    SendDrop(window_, {Cab(L"busy.cab")});
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

TEST_F(CabinetDrop, FolderThatCannotBeMadeEndsWithTheErrorBox)
{
    // The base folder is a plain file, so no numbered folder can be made in it.
    ASSERT_EQ(MakeCabinet(scratch_, "blocked.cab", {Entry("testctl.ocx", server_)}), 1);
    const std::wstring base = BaseFolder(), away = BaseFolder() + L".away";
    bool hadBase = GetFileAttributesW(base.c_str()) != INVALID_FILE_ATTRIBUTES;
    ASSERT_TRUE(!hadBase || MoveFileW(base.c_str(), away.c_str()));
    WriteFileBytes(base, "a plain file");
    SetWindowTextW(g_infoEdit, L"earlier report");
    TakeBoxes();

    SendDrop(window_, {Cab(L"blocked.cab")});
    std::vector<BoxRecord> boxes = TakeBoxes();
    std::wstring report = Report();
    std::string left = ReadFileBytes(base);
    DeleteFileW(base.c_str());
    ASSERT_TRUE(!hadBase || MoveFileW(away.c_str(), base.c_str()));

    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, L"error");
    EXPECT_EQ(report, L"earlier report");
    EXPECT_EQ(left, "a plain file");
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"ORVI.TestCtl"));
    EXPECT_STREQ(g_statusText, L"拖入文件路径:");
}

TEST_F(CabinetDrop, PathOutsideTheAnsiCodePageGoesToTheDecompressorShort)
{
    // "한국" has no form in code page 936: the decompressor gets the short path.
    std::wstring korean = scratch_ + L"\\한국";
    ASSERT_TRUE(CreateDirectoryW(korean.c_str(), NULL));
    ASSERT_EQ(MakeCabinet(scratch_, "k.cab", {Entry("testctl.ocx", server_)}), 1);
    ASSERT_TRUE(MoveFileW(Cab(L"k.cab").c_str(), (korean + L"\\k.cab").c_str()));
    std::wstring folder = DropAndFindFolder(korean + L"\\k.cab");
    ASSERT_FALSE(g_shownTexts.empty());
    EXPECT_EQ(g_shownTexts[0],
              L"拖入文件路径:" + korean + L"\\k.cab\r\n新建文件夹:" + ReportedFolder(folder) + L"\r\n");
    EXPECT_EQ(Report(), ListReport(folder, {L"testctl.ocx"}, kSuccess));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, L"ORVI.TestCtl"));

    // Where even the short path does not help, nothing is made.
    std::wstring deep = scratch_;
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
    } refused[] = {{deep + L"\\k.cab", L"ERROR:拖入文件路径过长！"},
                   {korean + L"\\missing.cab", L"ERROR:拖入文件路径含有无法转换的字符！"}};
    for (const auto &r : refused) {
        std::set<std::wstring> before = Folders();
        SendDrop(window_, {r.path});
        EXPECT_EQ(Report(), r.refusal) << r.path;
        EXPECT_EQ(Folders(), before) << r.path;
    }
}

TEST_F(CabinetDrop, DoubleByteNamesWithSeparatorLikeBytesAreUnpackedAndRegistered)
{
    // In code page 936 "淺" is 9C 5C and "東" is 96 7C: a backslash and a bar as second bytes.
    ASSERT_EQ(AnsiName(L"淺"), "\x9c\x5c");
    ASSERT_EQ(MakeCabinet(scratch_, "trail.cab", {Entry(AnsiName(L"東.txt"), "east"),
                                                  Entry(AnsiName(L"淺.ocx"), server_), Entry("after.txt", "a")}),
              1);
    std::wstring folder = DropAndFindFolder(Cab(L"trail.cab"));
    EXPECT_EQ(Report(), ListReport(folder, {L"東.txt", L"淺.ocx", L"after.txt"}, kSuccess));
    EXPECT_EQ(NamesIn(FolderOf(folder)), (std::vector<std::wstring>{L"after.txt", L"東.txt", L"淺.ocx"}));
    EXPECT_EQ(ReadFileBytes(FolderOf(folder) + L"\\東.txt"), "east");
    std::wstring server = ReadStringValue(HKEY_CLASSES_ROOT,
                                          L"CLSID\\{0D1C2B3A-4E5F-4a6b-8C7D-9E0F1A2B3C4D}\\InprocServer32");
    EXPECT_TRUE(SameFile(server, FolderOf(folder) + L"\\淺.ocx")) << server;
}

TEST_F(CabinetDrop, OverfullReportIsCutButKeepsItsStatusLine)
{
    std::vector<CabEntry> entries;
    std::vector<std::wstring> names;
    for (int i = 0; i < 30; i++) {
        std::string name = "file" + std::to_string(100 + i) + "_" + std::string(150, 'n') + ".txt";
        entries.push_back(Entry(name, name));
        names.push_back(std::wstring(name.begin(), name.end()));
    }
    entries.push_back(Entry("testctl.ocx", server_));
    ASSERT_EQ(MakeCabinet(scratch_, "many.cab", entries), 1);
    std::wstring folder = DropAndFindFolder(Cab(L"many.cab"));

    std::wstring report = Report();
    EXPECT_LT(report.size(), (size_t)kStatusTextSize);
    // Whole lines only, then the cut mark and the status line.
    std::wstring expected = kListHeader;
    size_t listed = 0;
    while (listed < names.size()) {
        std::wstring next = expected + ReportedFolder(folder) + names[listed] + L"\r\n";
        if (report.compare(0, next.size(), next) != 0)
            break;
        expected = next;
        listed++;
    }
    EXPECT_GT(listed, 0u);
    EXPECT_LT(listed, names.size());
    EXPECT_EQ(report, expected + L"…\r\n" + kSuccess);
    // The edit paints again after the drop, scrolled down to the status line.
    EXPECT_TRUE(IsWindowVisible(g_infoEdit));
    RECT client;
    GetClientRect(g_infoEdit, &client);
    LRESULT last = SendMessageW(g_infoEdit, EM_POSFROMCHAR, report.size() - 1, 0);
    EXPECT_GT(SendMessageW(g_infoEdit, EM_GETFIRSTVISIBLELINE, 0, 0), 0);
    EXPECT_GE((short)HIWORD(last), 0);
    EXPECT_LT((short)HIWORD(last), client.bottom);
    // Everything was still unpacked and the control registered.
    EXPECT_EQ(NamesIn(FolderOf(folder)).size(), entries.size());
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, L"ORVI.TestCtl"));
    EXPECT_STREQ(g_statusText, L"拖入文件路径:");
}

TEST_F(CabinetDrop, OverlongCabinetPathIsRefusedWithoutUnpacking)
{
    std::wstring path = L"C:\\" + std::wstring(950, L'p') + L".cab";
    SendDrop(window_, {path});
    EXPECT_EQ(Report(), L"ERROR:拖入文件路径过长！");
    EXPECT_TRUE(NewFolders().empty());
    EXPECT_STREQ(g_statusText, L"拖入文件路径:");
}

} // namespace
