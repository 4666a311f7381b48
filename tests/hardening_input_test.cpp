// Bad input through the real main window: dropped paths of awkward lengths
// and names, directories and locked files. Each gets a clear report or a
// defined refusal, and nothing is acted on under a cut or garbled name.
#include "support/test_support.h"

#include "app/app.h"
#include "controls/controls.h"
#include "register/register.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

const wchar_t kSuccess[] = L"\r\n注册状态：文件注册成功！";
const wchar_t kFailure[] = L"\r\n注册状态：文件注册失败！";
const wchar_t kTooLong[] = L"ERROR:拖入文件路径过长！";
const wchar_t kTestClsid[] = L"{0D1C2B3A-4E5F-4a6b-8C7D-9E0F1A2B3C4D}";

std::wstring Report(const std::wstring &path, bool ok)
{
    return L"拖入文件路径：" + path + (ok ? kSuccess : kFailure);
}

class DropInput : public ::testing::Test {
protected:
    void SetUp() override
    {
        StartAnsweringBoxes();
        RemoveFamilyKeys();
        dir = MakeScratchDir(L"drop input");
        log = dir + L"\\server.log";
        SetEnv(L"ORVI_TEST_LOG", log.c_str());
        window = StartMainWindow();
    }
    void TearDown() override
    {
        CloseMainWindow(window);
        SetEnv(L"ORVI_TEST_LOG", NULL);
        RemoveFamilyKeys();
        StopAnsweringBoxes();
    }
    // A copy of the test server whose full path is exactly length characters,
    // in folders of 200 characters where one name would be too long.
    std::wstring ServerAtLength(size_t length, wchar_t fill)
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
    std::wstring Registered()
    {
        return ReadStringValue(HKEY_CLASSES_ROOT,
                               std::wstring(L"CLSID\\") + kTestClsid + L"\\InprocServer32");
    }
    HWND window = NULL;
    std::wstring dir, log;
};

// Around MAX_PATH nothing changes: the registrar takes paths of up to 490
// characters, and real files of these lengths are registered under their
// whole path.
TEST_F(DropInput, PathsAroundMaxPathAreRegisteredWhole)
{
    for (size_t length : {259u, 260u, 490u}) {
        std::wstring path = ServerAtLength(length, length == 490 ? L'n' : L'm');
        DeleteFileW(log.c_str());
        SendDrop(window, {path});
        EXPECT_EQ(path, WindowText(g_pathEdit)) << length;
        EXPECT_EQ(Report(path, true), WindowText(g_infoEdit)) << length;
        EXPECT_EQ((std::vector<std::wstring>{L"unregister " + path, L"register " + path}),
                  ReadServerLog(log))
            << length;
        EXPECT_EQ(path, Registered()) << length;
        UnregisterControlFile(path.c_str());
    }
    // A real file one character longer is refused before anything starts.
    std::wstring longer = ServerAtLength(491, L'o');
    DeleteFileW(log.c_str());
    SendDrop(window, {longer});
    EXPECT_EQ(kTooLong, WindowText(g_infoEdit));
    EXPECT_TRUE(ReadServerLog(log).empty());
    EXPECT_TRUE(FileExists(longer));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"ORVI.TestCtl"));
}

TEST_F(DropInput, ChineseNamesSpacesAndForwardSlashesReachTheRegistrarUnchanged)
{
    ASSERT_EQ(936u, GetACP());
    std::wstring folder = dir + L"\\中文 目录";
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), NULL));
    // The Thai letter has no place in code page 936: the path is never taken through it.
    std::wstring path = folder + L"\\控件 测试ก.ocx";
    ASSERT_TRUE(CopyFileW(TestServerPath().c_str(), path.c_str(), FALSE));
    SendDrop(window, {path});
    EXPECT_EQ(path, WindowText(g_pathEdit));
    EXPECT_EQ(Report(path, true), WindowText(g_infoEdit));
    EXPECT_EQ((std::vector<std::wstring>{L"unregister " + path, L"register " + path}),
              ReadServerLog(log));
    EXPECT_EQ(path, Registered());
    UnregisterControlFile(path.c_str());

    std::wstring forward = path;
    std::replace(forward.begin(), forward.end(), L'\\', L'/');
    DeleteFileW(log.c_str());
    SendDrop(window, {forward});
    EXPECT_EQ(forward, WindowText(g_pathEdit));
    EXPECT_EQ(Report(forward, true), WindowText(g_infoEdit));
    EXPECT_EQ(2u, ReadServerLog(log).size());
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, L"ORVI.TestCtl"));
    UnregisterControlFile(forward.c_str());
}

TEST_F(DropInput, DirectoryNamedLikeAControlIsReportedAsAFailure)
{
    for (const wchar_t *name : {L"folder.ocx", L"folder.dll"}) {
        std::wstring path = dir + L"\\" + name;
        ASSERT_TRUE(CreateDirectoryW(path.c_str(), NULL));
        WriteFileBytes(path + L"\\inside.txt", "kept");
        SendDrop(window, {path});
        EXPECT_EQ(Report(path, false), WindowText(g_infoEdit)) << name;
        EXPECT_EQ("kept", ReadFileBytes(path + L"\\inside.txt"));
    }
    EXPECT_TRUE(ReadServerLog(log).empty());
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"ORVI.TestCtl"));
}

TEST_F(DropInput, FileLockedByAnotherProcessIsReportedAsAFailureAndLeftAlone)
{
    std::wstring path = dir + L"\\locked.ocx";
    ASSERT_TRUE(CopyFileW(TestServerPath().c_str(), path.c_str(), FALSE));
    std::string bytes = ReadFileBytes(path);
    HANDLE holder = HoldFileInChild(path, 0);
    ASSERT_TRUE(holder != NULL);
    HANDLE probe = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                               OPEN_EXISTING, 0, NULL);
    EXPECT_EQ(INVALID_HANDLE_VALUE, probe) << "the child must hold the file alone";
    if (probe != INVALID_HANDLE_VALUE)
        CloseHandle(probe);

    SendDrop(window, {path});
    EXPECT_EQ(Report(path, false), WindowText(g_infoEdit));
    EXPECT_TRUE(ReadServerLog(log).empty());
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"ORVI.TestCtl"));
    ReleaseHeldFile(holder);
    EXPECT_EQ(bytes, ReadFileBytes(path));

    // Held the way a process that loaded it holds it: it can still be registered.
    holder = HoldFileInChild(path, FILE_SHARE_READ);
    ASSERT_TRUE(holder != NULL);
    SendDrop(window, {path});
    EXPECT_EQ(Report(path, true), WindowText(g_infoEdit));
    EXPECT_EQ(path, Registered());
    ReleaseHeldFile(holder);
    UnregisterControlFile(path.c_str());
}

} // namespace
