// Bad cabinets: seeded random corruptions of valid cabinets, stored names of
// the decompressor's longest length (255 bytes) and a cabinet of 2,000
// files. Each one ends with a report whose last line is a status line, and
// nothing is written outside the extraction folder. Cabinets are made at run
// time with FCI and handed straight to RegisterCabinet, as a drop of one
// .cab file does, so that hundreds of them stay quick.
#include "support/cabinet_maker.h"
#include "support/test_support.h"

#include "app/app.h"
#include "register/register.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <set>

namespace {

const wchar_t kSuccess[] = L"注册状态:注册成功！";
const wchar_t kFailure[] = L"注册状态:注册失败！";
const wchar_t kListHeader[] = L"解压文件列表:\r\n";

CabEntry Entry(const std::string &name, const std::string &bytes)
{
    CabEntry entry;
    entry.storedName = name;
    entry.bytes = bytes;
    return entry;
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

class CabinetHardening : public ::testing::Test {
protected:
    void SetUp() override
    {
        StartAnsweringBoxes();
        RemoveFamilyKeys();
        scratch_ = MakeScratchDir(L"hardening");
        // The tool makes the base folder at its first extraction in a fresh
        // prefix; made here, that is no change to the drive's root.
        CreateDirectoryW(BaseFolder().c_str(), NULL);
        existing_ = Names(BaseFolder());
        window_ = StartMainWindow();
        // Bounded: a decompression that never ends ends the program instead.
        StartWatchdog(170000, "a bad cabinet");
    }

    void TearDown() override
    {
        StopWatchdog();
        CloseMainWindow(window_);
        for (const std::wstring &name : Names(BaseFolder())) {
            if (!existing_.count(name))
                RemoveTree(FolderOf(name));
        }
        RemoveTree(scratch_);
        RemoveFamilyKeys();
        StopAnsweringBoxes();
    }

    static std::set<std::wstring> Names(const std::wstring &dir)
    {
        std::vector<std::wstring> names = NamesIn(dir);
        return std::set<std::wstring>(names.begin(), names.end());
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
        for (const std::wstring &dir : {SystemDrive() + L":\\", BaseFolder(), scratch_, TestProgramDir(),
                                        std::wstring(current), std::wstring(temp)})
            seen[dir] = Names(dir);
        return seen;
    }

    std::wstring Cab(const std::wstring &name) { return scratch_ + L"\\" + name; }

    // Hands the cabinet over and checks what every cabinet must give: one new
    // numbered folder and nothing new anywhere else, no box, and a report of
    // the list header, whole listed lines of that folder (or the cut mark)
    // and a status line last. Returns the folder's number.
    std::wstring Unpack(const std::wstring &cab, size_t *listed = nullptr)
    {
        std::map<std::wstring, std::set<std::wstring>> before = Surroundings();
        std::set<std::wstring> bases = Names(BaseFolder());
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

        std::vector<std::wstring> lines = SplitLines(WindowText(g_infoEdit));
        EXPECT_GE(lines.size(), 2u);
        if (lines.size() < 2)
            return folder;
        EXPECT_EQ(lines.front() + L"\r\n", kListHeader);
        EXPECT_TRUE(lines.back() == kSuccess || lines.back() == kFailure) << lines.back();
        size_t count = 0;
        for (size_t i = 1; i + 1 < lines.size(); i++) {
            if (lines[i] == L"…" && i + 2 == lines.size())
                continue;
            EXPECT_EQ(lines[i].rfind(ReportedFolder(folder), 0), 0u) << lines[i];
            count++;
        }
        // Only plain files come out, never more than were listed (when the
        // list is not cut); the report is never longer than its buffer.
        std::vector<std::wstring> files = NamesIn(FolderOf(folder));
        for (const std::wstring &name : files)
            EXPECT_FALSE(GetFileAttributesW((FolderOf(folder) + L"\\" + name).c_str()) & FILE_ATTRIBUTE_DIRECTORY);
        if (lines[lines.size() - 2] != L"…") {
            EXPECT_LE(files.size(), count);
        }
        EXPECT_LT(WindowText(g_infoEdit).size(), (size_t)kStatusTextSize);
        EXPECT_STREQ(g_statusText, L"拖入文件路径:");
        if (listed)
            *listed = count;
        return folder;
    }

    HWND window_ = NULL;
    std::wstring scratch_;
    std::set<std::wstring> existing_;
};

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

TEST_F(CabinetHardening, TwoHundredCorruptedCabinetsEachEndWithAStatusLineInsideTheirFolder)
{
    std::vector<CabEntry> entries = {Entry("a.txt", "first file"), Entry("b.bin", PseudoRandomBytes(20000, 1)),
                                     Entry("c.txt", PseudoRandomBytes(70000, 2)), Entry("d.txt", "last")};
    ASSERT_EQ(MakeCabinet(scratch_, "zip.cab", entries, true), 1);
    ASSERT_EQ(MakeCabinet(scratch_, "stored.cab", entries, false), 1);
    const std::string valid[] = {ReadFileBytes(Cab(L"zip.cab")), ReadFileBytes(Cab(L"stored.cab"))};

    // The valid ones unpack whole.
    for (const std::wstring name : {L"zip.cab", L"stored.cab"}) {
        std::wstring folder = Unpack(Cab(name));
        EXPECT_EQ(NamesIn(FolderOf(folder)), (std::vector<std::wstring>{L"a.txt", L"b.bin", L"c.txt", L"d.txt"}));
        EXPECT_EQ(ReadFileBytes(FolderOf(folder) + L"\\c.txt"), entries[2].bytes);
        RemoveTree(FolderOf(folder));
    }

    std::mt19937 random(20240611);
    DWORD slowest = 0;
    int withFiles = 0, whole = 0;
    for (int i = 0; i < 200; i++) {
        std::string what;
        std::string bytes = Corrupt(valid[i % 2], random, &what);
        SCOPED_TRACE("case " + std::to_string(i) + ": " + what);
        WriteFileBytes(Cab(L"bad.cab"), bytes);
        DWORD start = GetTickCount();
        std::wstring folder = Unpack(Cab(L"bad.cab"));
        slowest = std::max(slowest, GetTickCount() - start);
        withFiles += !NamesIn(FolderOf(folder)).empty();
        whole += NamesIn(FolderOf(folder)).size() == 4 &&
                 ReadFileBytes(FolderOf(folder) + L"\\c.txt") == entries[2].bytes &&
                 ReadFileBytes(FolderOf(folder) + L"\\b.bin") == entries[1].bytes;
        RemoveTree(FolderOf(folder));
        if (HasFatalFailure() || ::testing::Test::HasFailure())
            break; // one case's detail is enough
    }
    printf("slowest corrupted cabinet: %lu ms; of 200, %d gave files, %d all four whole\n", slowest, withFiles,
           whole);
    // The corruptions reach every side: some give nothing, some damaged or
    // fewer files, some still all of them.
    EXPECT_LT(withFiles, 200);
    EXPECT_GT(withFiles, whole);
    EXPECT_GT(whole, 0);
}

TEST_F(CabinetHardening, StoredNamesOfTwoHundredFiftyFiveBytes)
{
    std::string server = ReadFileBytes(TestServerPath());
    ASSERT_FALSE(server.empty());
    // 255 bytes: the longest name the cabinet format stores.
    std::string control = std::string(251, 'c') + ".ocx";
    std::string text = std::string(251, 't') + ".txt";
    ASSERT_EQ(MakeCabinet(scratch_, "long.cab", {Entry(text, "text"), Entry(control, server)}), 1);
    std::wstring folder = Unpack(Cab(L"long.cab"));
    std::wstring wideText(text.begin(), text.end()), wideControl(control.begin(), control.end());
    EXPECT_EQ(WindowText(g_infoEdit), std::wstring(kListHeader) + ReportedFolder(folder) + wideText + L"\r\n" +
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
    ASSERT_EQ(MakeCabinet(scratch_, "wide.cab", {Entry(ansi, server), Entry("after.txt", "after")}), 1);
    folder = Unpack(Cab(L"wide.cab"));
    std::vector<std::wstring> files = NamesIn(FolderOf(folder));
    bool keptWhole = std::find(files.begin(), files.end(), wideName) != files.end();
    EXPECT_EQ(files.size(), 2u);
    EXPECT_EQ(WindowText(g_infoEdit), std::wstring(kListHeader) + ReportedFolder(folder) + wideName + L"\r\n" +
                                          ReportedFolder(folder) + L"after.txt\r\n" + (keptWhole ? kSuccess : kFailure));
    EXPECT_TRUE(ReadFileBytes(FolderOf(folder) + L"\\" + wideName) == server);
    EXPECT_EQ(ReadFileBytes(FolderOf(folder) + L"\\after.txt"), "after");
    EXPECT_EQ(KeyExists(HKEY_CLASSES_ROOT, L"ORVI.TestCtl"), keptWhole);
    printf("a 255-byte double-byte name: %s\n", keptWhole ? "kept whole, registered" : "cut by the host, not registered");
}

TEST_F(CabinetHardening, TwoThousandFilesAreAllUnpackedAndTheCutReportKeepsItsStatusLine)
{
    std::vector<CabEntry> entries;
    for (int i = 0; i < 2000; i++) {
        std::string name = "f" + std::to_string(10000 + i) + ".txt";
        entries.push_back(Entry(name, name));
    }
    // Last, far beyond the cut of the report: still registered.
    entries.push_back(Entry("testctl.ocx", ReadFileBytes(TestServerPath())));
    DWORD start = GetTickCount();
    ASSERT_EQ(MakeCabinet(scratch_, "many.cab", entries), 1);
    DWORD made = GetTickCount();
    size_t listed = 0;
    std::wstring folder = Unpack(Cab(L"many.cab"), &listed);
    printf("2,001 files: made in %lu ms, unpacked and registered in %lu ms, %zu listed\n", made - start,
           GetTickCount() - made, listed);

    std::wstring report = WindowText(g_infoEdit);
    std::wstring expected = kListHeader;
    for (size_t i = 0; i < listed; i++)
        expected += ReportedFolder(folder) + L"f" + std::to_wstring(10000 + i) + L".txt\r\n";
    EXPECT_EQ(report, expected + L"…\r\n" + kSuccess);
    EXPECT_GT(listed, 10u);
    EXPECT_LT(listed, 100u);

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

} // namespace
