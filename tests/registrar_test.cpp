// The registrar's own runs of the real regsvr32.exe on the test COM server,
// outside any window: each waited for, its handle closed, and no path that
// could hand it arguments of its own.
#include "support/test_support.h"

#include "register/register.h"

#include <gtest/gtest.h>

class Registrar : public SceneTest {
protected:
    Registrar() : SceneTest(L"registrar")
    {
    }
    void SetUp() override
    {
        SceneTest::SetUp();
        LogServer();
    }
};

TEST_F(Registrar, EveryRunIsWaitedForAndItsHandleClosed)
{
    std::wstring path = CopyTestServer(L"slow.ocx");
    SetEnv(L"ORVI_TEST_SLEEP_MS", L"300");
    // A leaked process or thread handle would push a fresh handle's value
    // up. The first start in a process may open handles of its own that
    // stay, so one run comes first.
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
    std::wstring other = CopyTestServer(L"other.ocx");
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
