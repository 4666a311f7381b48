// Removal records: what a removal writes down, how many records are kept,
// and their restore, through the engine with the real regsvr32.exe.
#include "support/cabinet_maker.h"
#include "support/record_support.h"
#include "support/test_support.h"

#include "controls/controls.h"
#include "records/records.h"
#include "register/register.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>

#include <stdio.h>

static const HKEY kCR = HKEY_CLASSES_ROOT;
static const wchar_t kClsid[] = L"{1A2B3C4D-0000-4a6b-8C7D-0123456789AB}";
static const wchar_t kTypeLib[] = L"{5E6F7A8B-1111-4c2d-9E8F-00AABBCCDDEE}";
// A GUID after its first group: with one, an interface of kTypeLib's family.
static const wchar_t kLibraryTail[] = L"-1111-4c2d-9E8F-00AABBCCDDEE}";

class RecordTest : public SceneTest {
protected:
    RecordTest() : SceneTest(L"records")
    {
    }
};

// Outside WoW64 the second pass walks "Interface" again: its matches are
// planned once, and however many there are, the class and the ProgID are
// planned, recorded and deleted with them, so the record brings all back.
TEST_F(RecordTest, ManyMatchingInterfacesAreRecordedWithTheClassAndProgId)
{
    UseWow64Column(false);
    const std::wstring server = Control(L"ORVI.ManyIfaces", kClsid, L"many.ocx");
    const std::wstring classKey = std::wstring(L"CLSID\\") + kClsid;
    Make(kCR, classKey + L"\\TypeLib", kTypeLib);
    std::vector<KeyName> watched = {{kCR, L"ORVI.ManyIfaces"}, {kCR, classKey}};
    for (int i = 0; i < 600; i++) {
        wchar_t group[16];
        swprintf(group, 16, L"5E6F%04X", i);
        const std::wstring interfaceKey = L"Interface\\{" + std::wstring(group) + kLibraryTail;
        Own(kCR, interfaceKey);
        Make(kCR, interfaceKey + L"\\TypeLib", kTypeLib);
        watched.push_back({kCR, interfaceKey});
    }
    const std::vector<std::wstring> before = KeyTreeTexts(watched);

    EXPECT_EQ(UninstallControl(L"ORVI.ManyIfaces"), 1);
    EXPECT_FALSE(KeyExists(kCR, L"ORVI.ManyIfaces"));
    EXPECT_FALSE(KeyExists(kCR, classKey));
    const std::wstring record = NewestRecord();
    EXPECT_EQ(L"1", StateValue(record, L"whole"));
    // Removed again from a list shown before: nothing to remove, and no
    // empty record pushes this one out.
    RemovalOutcome again;
    RemoveControl(L"ORVI.ManyIfaces", &again);
    EXPECT_EQ(1, again.complete);
    EXPECT_EQ(record, NewestRecord());

    static RestoreResult restored;
    ASSERT_EQ(kRestored, RestoreRemoval(L"ORVI.ManyIfaces", 0, &restored));
    EXPECT_EQ(before, KeyTreeTexts(watched));
    EXPECT_TRUE(FileExists(server));
}

// The tool's writes go through this wrapper of its WriteFile import; armed,
// it first does what a test puts in g_beforeWrite, once, and the write fails
// as on a full disk when that says so.
typedef BOOL(WINAPI *WriteFileFunction)(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED);
static WriteFileFunction g_realWriteFile;
static std::function<bool()> g_beforeWrite;

static BOOL WINAPI WriteFileAfterAction(HANDLE file, LPCVOID data, DWORD size, LPDWORD written,
                                        LPOVERLAPPED overlapped)
{
    std::function<bool()> action;
    action.swap(g_beforeWrite);
    if (action && !action()) {
        SetLastError(ERROR_DISK_FULL);
        return FALSE;
    }
    return g_realWriteFile(file, data, size, written, overlapped);
}

// True when the base folder could be moved away (it is moved back at once).
static bool BaseFolderMoves()
{
    const std::wstring base = BaseFolder(), aside = base + L".moved";
    if (!MoveFileW(base.c_str(), aside.c_str()))
        return false;
    MoveFileW(aside.c_str(), base.c_str());
    return true;
}

// A registration that comes while restore copies the server file back (a
// large file takes time), after its first look, is looked for again right
// before the keys are written: restore refuses, the file it copied goes
// again, and what was registered meanwhile is left as it is. The records
// store holds the base folder meanwhile, as it does while a removal writes
// its record: it cannot be swapped under them.
TEST_F(RecordTest, RegistrationWhileTheFileIsCopiedBackIsNeverWrittenOver)
{
    if (!g_realWriteFile)
        g_realWriteFile = (WriteFileFunction)RedirectImport("kernel32.dll", "WriteFile",
                                                            (void *)&WriteFileAfterAction);
    const std::wstring server = Control(L"ORVI.Meanwhile", kClsid, L"meanwhile.ocx");
    bool moved = true;
    g_beforeWrite = [&]() { return !(moved = BaseFolderMoves()); };
    ASSERT_EQ(1, UninstallControl(L"ORVI.Meanwhile"));
    EXPECT_FALSE(moved) << "the base folder moved while the record was written";
    ASSERT_FALSE(FileExists(server));
    const std::wstring classKey = std::wstring(L"CLSID\\") + kClsid;
    const std::vector<KeyName> watched = {{kCR, L"ORVI.Meanwhile"}, {kCR, classKey}};
    std::vector<std::wstring> registered;
    g_beforeWrite = [&]() {
        PlantControl(L"ORVI.Meanwhile", kClsid, InDir(L"newer.ocx"));
        registered = KeyTreeTexts(watched);
        return true;
    };

    static RestoreResult restored;
    EXPECT_EQ(kRestoreInstalledNow, RestoreRemoval(L"ORVI.Meanwhile", 0, &restored));
    ASSERT_FALSE(g_beforeWrite) << "restore wrote nothing";
    EXPECT_EQ(registered, KeyTreeTexts(watched));
    EXPECT_FALSE(FileExists(server));

    // The copy never takes the control's name before it is whole: a full
    // disk (or a crash) mid-copy leaves nothing there, nor anything beside it.
    for (const KeyName &key : watched)
        DeleteTree(key.first, key.second);
    const std::vector<std::wstring> names = NamesIn(dir);
    g_beforeWrite = []() { return false; };
    EXPECT_EQ(kRestoreFileFailed, RestoreRemoval(L"ORVI.Meanwhile", 0, &restored));
    EXPECT_EQ(names, NamesIn(dir));
    bool named = true;
    g_beforeWrite = [&]() { return !(named = FileExists(server)) && !(moved = BaseFolderMoves()); };
    EXPECT_EQ(kRestored, RestoreRemoval(L"ORVI.Meanwhile", 0, &restored));
    EXPECT_FALSE(named) << "the file had the control's name while it was copied";
    EXPECT_FALSE(moved) << "the base folder moved while the file was copied back";
    EXPECT_EQ("not a real server", ReadFileBytes(server));
    EXPECT_EQ(names.size() + 1, NamesIn(dir).size());
}

// The record folder of a number, as the tool names it.
static std::wstring RecordFolderOf(unsigned long long number)
{
    wchar_t name[24];
    swprintf(name, 24, L"%015llu", number);
    return RecordsFolder() + L"\\" + name;
}

// The newest 50 finished records are kept as long as they hold 500 MB at
// most; older ones go at the next removal, oldest first. The older records
// are planted in the tool's own form (copies of a real one, numbered older),
// so one real removal shows each bound.
TEST_F(RecordTest, RecordsAreBoundedToTheNewest50WithinTheirSize)
{
    RemoveRecords();
    Control(L"ORVI.Bounded", kClsid, L"bounded.ocx");
    ASSERT_EQ(1, UninstallControl(L"ORVI.Bounded"));
    const std::wstring real = NewestRecord();
    ASSERT_FALSE(real.empty());
    const unsigned long long first = std::stoull(RecordNames()[0]);
    for (int age = 1; age <= 55; age++)
        CopyRecord(real, RecordFolderOf(first - 10 * age));

    // 57 records: the newest 50 stay, the new one among them.
    Control(L"ORVI.Bounded", kClsid, L"bounded.ocx");
    ASSERT_EQ(1, UninstallControl(L"ORVI.Bounded"));
    std::vector<std::wstring> names = RecordNames();
    EXPECT_EQ(50u, names.size());
    EXPECT_EQ(RecordFolderOf(first - 480), RecordsFolder() + L"\\" + names.back());

    // One record of more than 500 MB (a sparse file: no disk is taken): it
    // and every older one go, whatever their number.
    const std::wstring big = RecordFolderOf(first - 95);
    CopyRecord(real, big);
    HANDLE copy = CreateFileW((big + L"\\server.bin").c_str(), GENERIC_WRITE, 0, NULL,
                              OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, copy);
    LARGE_INTEGER size;
    size.QuadPart = 501LL * 1024 * 1024;
    EXPECT_TRUE(SetFilePointerEx(copy, size, NULL, FILE_BEGIN) && SetEndOfFile(copy));
    CloseHandle(copy);
    Control(L"ORVI.Bounded", kClsid, L"bounded.ocx");
    ASSERT_EQ(1, UninstallControl(L"ORVI.Bounded"));
    names = RecordNames();
    EXPECT_EQ(12u, names.size());
    EXPECT_EQ(RecordFolderOf(first - 90), RecordsFolder() + L"\\" + names.back());
    EXPECT_FALSE(FileExists(big));

    // Records left by a clock that ran ahead (numbered as far in the future)
    // neither push the next record out nor put it before them: it is numbered
    // past them, kept, and restored.
    for (int ahead = 0; ahead < 55; ahead++)
        CopyRecord(real, RecordFolderOf(first + 100000000 + ahead));
    std::wstring server = Control(L"ORVI.Bounded", kClsid, L"bounded.ocx");
    ASSERT_EQ(1, UninstallControl(L"ORVI.Bounded"));
    names = RecordNames();
    EXPECT_EQ(50u, names.size());
    EXPECT_EQ(RecordFolderOf(first + 100000000 + 55), RecordsFolder() + L"\\" + names[0]);
    static RestoreResult restored;
    EXPECT_EQ(kRestored, RestoreRemoval(L"ORVI.Bounded", 0, &restored));
    EXPECT_TRUE(FileExists(server));

    // Records that do not read are never pruned, however old: one cut short
    // (damaged, kept for a look) and a folder whose writer has not yet
    // written its state file, nor held it.
    const std::wstring newest = NewestRecord();
    const std::wstring damaged = RecordFolderOf(first - 1000);
    CopyRecord(newest, damaged);
    const std::wstring state = ReadStateText(damaged);
    WriteStateText(damaged, state.substr(0, state.size() / 2));
    const std::wstring unwritten = RecordFolderOf(first - 1001);
    CopyRecord(newest, unwritten);
    ASSERT_TRUE(DeleteFileW((unwritten + L"\\state.txt").c_str()));
    ASSERT_EQ(1, UninstallControl(L"ORVI.Bounded"));
    EXPECT_TRUE(FileExists(damaged + L"\\state.txt"));
    EXPECT_TRUE(FileExists(unwritten + L"\\keys.reg"));

    // Numbers come from the tool's own records alone: a folder of the
    // largest number without a record in it neither stops nor moves them,
    // and with an own record of that number a free one is found all the same.
    auto removeAndName = [&]() {
        const std::vector<std::wstring> before = RecordNames();
        Control(L"ORVI.Bounded", kClsid, L"bounded.ocx");
        EXPECT_EQ(1, UninstallControl(L"ORVI.Bounded"));
        std::vector<std::wstring> added;
        for (const std::wstring &name : RecordNames()) {
            if (std::find(before.begin(), before.end(), name) == before.end())
                added.push_back(RecordsFolder() + L"\\" + name);
        }
        return added;
    };
    const std::wstring largest = RecordFolderOf(999999999999999ULL);
    const std::wstring next = RecordFolderOf(std::stoull(RecordNames()[0]) + 1);
    ASSERT_TRUE(CreateProtectedFolder(largest.c_str()));
    EXPECT_EQ(std::vector<std::wstring>{next}, removeAndName());
    RemoveTree(largest);
    CopyRecord(next, largest);
    EXPECT_EQ(std::vector<std::wstring>{RecordFolderOf(999999999999998ULL)}, removeAndName());
    // Records numbered so high would be every later test's newest.
    RemoveRecords();
    RemoveTree(largest);
}
