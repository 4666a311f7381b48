// Faults met by a removal on the real main window: a server file that is
// read-only or held open by another process, a key in the middle of a tree
// that cannot be deleted. The removal goes on past each of them, reports
// nothing, and the list is refreshed.
//
// A registrar that never ends is not among them on purpose: every run of
// regsvr32.exe is waited for without a time limit, so such a run keeps the
// window blocked for good (see README, "Faults and limits"). What is tested
// (drop_test.cpp, Registrar.*) is that every run that ends is waited for and
// its process handle closed.
#include "support/test_support.h"

#include "app/app.h"
#include "controls/controls.h"
#include "register/register.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

const HKEY kCR = HKEY_CLASSES_ROOT;
const wchar_t kProgId[] = L"ORVI.TestCtl";
const wchar_t kClassKey[] = L"CLSID\\{0D1C2B3A-4E5F-4a6b-8C7D-9E0F1A2B3C4D}";
const wchar_t kTypeLibKey[] = L"TypeLib\\{0D1C2B3A-4E5F-4a6b-8C7D-9E0F1A2B3C4E}";
const wchar_t kInterfaceKey[] = L"Interface\\{0D1C2B3A-4E5F-4a6b-8C7D-9E0F1A2B3C4F}";

class RemovalFaults : public ::testing::Test {
protected:
    void SetUp() override
    {
        StartAnsweringBoxes();
        RemoveFamilyKeys();
        scratch = MakeScratchDir(L"removal faults");
        log = scratch + L"\\server.log";
        SetEnv(L"ORVI_TEST_LOG", log.c_str());
        window = StartMainWindow();
    }
    void TearDown() override
    {
        CloseMainWindow(window);
        ReleaseHeldFile(holder);
        for (const std::wstring &path : protectedKeys)
            SetKeyDacl(kCR, path, 0);
        for (const wchar_t *name : {L"ORVI_TEST_LOG", L"ORVI_TEST_PROGID", L"ORVI_TEST_CLSID",
                                    L"ORVI_TEST_TYPELIB", L"ORVI_TEST_IID"})
            SetEnv(name, NULL);
        RemoveFamilyKeys();
        StopAnsweringBoxes();
    }
    // The test server registered by the real regsvr32.exe under path.
    std::wstring RegisterServer(const std::wstring &name)
    {
        std::wstring path = scratch + L"\\" + name;
        EXPECT_TRUE(CopyFileW(TestServerPath().c_str(), path.c_str(), FALSE));
        EXPECT_EQ(1, RegisterControlFile(path.c_str()));
        EXPECT_TRUE(KeyExists(kCR, kProgId));
        DeleteFileW(log.c_str());
        return path;
    }
    void Protect(const std::wstring &path)
    {
        protectedKeys.push_back(path);
        SetKeyDacl(kCR, path, KEY_READ);
        HKEY probe;
        ASSERT_NE(ERROR_SUCCESS, RegOpenKeyExW(kCR, path.c_str(), 0, KEY_READ, &probe));
    }
    void DoubleClickYes(const std::wstring &entry)
    {
        SendMessageW(window, WM_COMMAND, MAKEWPARAM(0, BN_CLICKED), (LPARAM)g_queryButton);
        LRESULT index =
            SendMessageW(g_controlList, LB_FINDSTRINGEXACT, (WPARAM)-1, (LPARAM)entry.c_str());
        ASSERT_NE(LB_ERR, index);
        SendMessageW(g_controlList, LB_SETCURSEL, index, 0);
        QueueBoxAnswer(IDYES);
        SendMessageW(window, WM_COMMAND, MAKEWPARAM(0, LBN_DBLCLK), (LPARAM)g_controlList);
        // The question alone: the removal reports nothing.
        EXPECT_EQ(1u, TakeBoxes().size());
    }
    void ExpectKeysGoneAndListRefreshed()
    {
        EXPECT_FALSE(KeyExists(kCR, kProgId));
        EXPECT_FALSE(KeyExists(kCR, kClassKey));
        EXPECT_FALSE(KeyExists(kCR, kTypeLibKey));
        std::vector<std::wstring> entries = ListEntries();
        EXPECT_EQ(0, std::count(entries.begin(), entries.end(), std::wstring(kProgId)));
        EXPECT_EQ(entries, FamilyKeys());
        EXPECT_TRUE(IsWindow(window));
    }
    HWND window = NULL;
    HANDLE holder = NULL;
    std::wstring scratch, log;
    std::vector<std::wstring> protectedKeys;
};

TEST_F(RemovalFaults, ReadOnlyServerFileStaysWhileItsKeysGo)
{
    std::wstring server = RegisterServer(L"read only.ocx");
    SetDefaultValue(kCR, L"ORVI.Neighbour", L"stays listed");
    ASSERT_TRUE(SetFileAttributesW(server.c_str(), FILE_ATTRIBUTE_READONLY));
    DoubleClickYes(kProgId);
    ExpectKeysGoneAndListRefreshed();
    EXPECT_TRUE(FileExists(server));
    EXPECT_EQ((std::vector<std::wstring>{L"unregister " + server}), ReadServerLog(log));
    EXPECT_EQ((std::vector<std::wstring>{L"ORVI.Neighbour"}), ListEntries());
    SetFileAttributesW(server.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(RemovalFaults, ServerFileHeldOpenByAnotherProcessStays)
{
    // Held without sharing: the registrar cannot load it either.
    std::wstring server = RegisterServer(L"held.ocx");
    std::string bytes = ReadFileBytes(server);
    holder = HoldFileInChild(server, 0);
    ASSERT_TRUE(holder != NULL);
    DoubleClickYes(kProgId);
    ExpectKeysGoneAndListRefreshed();
    EXPECT_TRUE(FileExists(server));
    EXPECT_TRUE(ReadServerLog(log).empty());
    // The interface key matches no type-library pass; only the server's own
    // unregistration, which could not run, would have removed it.
    EXPECT_TRUE(KeyExists(kCR, kInterfaceKey));
    DeleteTree(kCR, kInterfaceKey);

    // Held the way a process that loaded it holds it: unregistered, not deleted.
    ReleaseHeldFile(holder);
    holder = NULL;
    EXPECT_EQ(bytes, ReadFileBytes(server));
    server = RegisterServer(L"loaded.ocx");
    holder = HoldFileInChild(server, FILE_SHARE_READ);
    ASSERT_TRUE(holder != NULL);
    DoubleClickYes(kProgId);
    ExpectKeysGoneAndListRefreshed();
    EXPECT_TRUE(FileExists(server));
    EXPECT_EQ((std::vector<std::wstring>{L"unregister " + server}), ReadServerLog(log));
}

// Wine refuses to open a key whose DACL denies reading, so such a key with a
// subkey cannot be emptied and cannot be deleted. Met in the class key and in
// the ProgID key, it stops the deletion of that tree only.
TEST_F(RemovalFaults, KeyThatCannotBeDeletedDoesNotStopTheRestOfTheRemoval)
{
    std::wstring server = RegisterServer(L"protected.ocx");
    const std::wstring classStuck = std::wstring(kClassKey) + L"\\Stuck";
    const std::wstring progIdStuck = std::wstring(kProgId) + L"\\Stuck";
    SetDefaultValue(kCR, classStuck + L"\\Inner", L"fault test");
    SetDefaultValue(kCR, classStuck + L"Later", L"fault test");
    SetDefaultValue(kCR, progIdStuck + L"\\Inner", L"fault test");
    SetDefaultValue(kCR, L"ORVI.Other\\CLSID", L"{0D1C2B3A-0000-4a6b-8C7D-000000000000}");
    Protect(classStuck);
    Protect(progIdStuck);
    // The server's own unregistration is pointed at names of no key, so only
    // the tool's deletions decide what is left.
    SetEnv(L"ORVI_TEST_PROGID", L"ORVI.FaultNone");
    SetEnv(L"ORVI_TEST_CLSID", L"{0D1C2B3A-FFFF-4a6b-8C7D-000000000001}");
    SetEnv(L"ORVI_TEST_TYPELIB", L"{0D1C2B3A-FFFF-4a6b-8C7D-000000000002}");
    SetEnv(L"ORVI_TEST_IID", L"{0D1C2B3A-FFFF-4a6b-8C7D-000000000003}");

    DoubleClickYes(kProgId);

    // The trees with the stuck keys: what came before them is gone, they and
    // what follows them stay.
    EXPECT_TRUE(KeyExists(kCR, kProgId));
    EXPECT_FALSE(KeyExists(kCR, std::wstring(kProgId) + L"\\CLSID"));
    EXPECT_TRUE(KeyExists(kCR, kClassKey));
    EXPECT_FALSE(KeyExists(kCR, std::wstring(kClassKey) + L"\\InprocServer32"));
    EXPECT_TRUE(KeyExists(kCR, classStuck + L"Later"));
    // Everything after them went on: the other keys, the registrar, the file.
    EXPECT_FALSE(KeyExists(kCR, kTypeLibKey));
    EXPECT_EQ((std::vector<std::wstring>{L"unregister " + server}), ReadServerLog(log));
    EXPECT_FALSE(FileExists(server));
    EXPECT_TRUE(KeyExists(kCR, L"ORVI.Other\\CLSID"));
    // The refreshed list still shows what is left, so the removal can be repeated.
    EXPECT_EQ((std::vector<std::wstring>{L"ORVI.Other", kProgId}), ListEntries());

    for (const std::wstring &path : protectedKeys)
        SetKeyDacl(kCR, path, 0);
    protectedKeys.clear();
    DoubleClickYes(kProgId);
    EXPECT_FALSE(KeyExists(kCR, kProgId));
    // Without a CLSID left under the ProgID the class key is not named again.
    EXPECT_TRUE(KeyExists(kCR, classStuck + L"\\Inner"));
    EXPECT_EQ((std::vector<std::wstring>{L"ORVI.Other"}), ListEntries());
    DeleteTree(kCR, kClassKey);
    DeleteTree(kCR, kInterfaceKey);
}

} // namespace
