// Download location: the download button's notices, the CLSID errors, and
// the recorded address handed to the real shell.
#include "support/test_support.h"

#include "app/app.h"
#include "controls/controls.h"
#include "controls/actions.h"

#include <gtest/gtest.h>

#include <shellapi.h>

#include <algorithm>

// Each build takes the view its process shows for real on the platform's
// answer, and the other view through the test double of
// support/wow64_column.cpp.

// The open command of the tests' own URL scheme starts this very program as
// `download_test.exe --record-url <file> <address>`. It then only writes the
// address (UTF-16) into the file and ends, before any test runs.
static int RecordAddressIfAsked()
{
    int argc = 0;
    LPWSTR *argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv)
        return 0;
    if (argc == 4 && lstrcmpW(argv[1], L"--record-url") == 0) {
        std::wstring file = argv[2];
        std::wstring address = argv[3];
        // Written aside and renamed, so the waiting test never reads half a record.
        WriteFileBytes(file + L".part", std::string((const char *)address.c_str(),
                                                    address.size() * sizeof(wchar_t)));
        MoveFileExW((file + L".part").c_str(), file.c_str(), MOVEFILE_REPLACE_EXISTING);
        ExitProcess(0);
    }
    LocalFree(argv);
    return 0;
}
static const int g_recorder = RecordAddressIfAsked();

namespace {

const wchar_t kProgId[] = L"ORVI.DownloadTest";
const wchar_t kClsid[] = L"{7A2E3B4C-3333-4D5E-8F90-B1C2D3E4F5A6}";
const wchar_t kScheme[] = L"orvitest";

std::wstring FromBytes(const std::string &bytes)
{
    return std::wstring((const wchar_t *)bytes.data(), bytes.size() / sizeof(wchar_t));
}

class Download : public UninstallPageTest {
protected:
    std::wstring recordFile;

    Download() : UninstallPageTest(true)
    {
    }

    void SetUp() override
    {
        recordFile = MakeScratchDir(L"download") + L"\\address.bin";
        UninstallPageTest::SetUp();
    }

    void TearDown() override
    {
        UninstallPageTest::TearDown();
        DeleteFileW(recordFile.c_str());
        RemoveDirectoryW(recordFile.substr(0, recordFile.find_last_of(L'\\')).c_str());
    }

    // A URL scheme whose open command records the address it is given.
    void RegisterRecorderScheme(Caller = {})
    {
        wchar_t self[MAX_PATH] = {};
        GetModuleFileNameW(NULL, self, MAX_PATH);
        std::wstring root = kScheme;
        Make(HKEY_CLASSES_ROOT, root, L"URL:Orvi test recorder");
        SetStringValue(HKEY_CLASSES_ROOT, root, L"URL Protocol", L"");
        Make(HKEY_CLASSES_ROOT, root + L"\\shell\\open\\command",
             L"\"" + std::wstring(self) + L"\" --record-url \"" + recordFile + L"\" \"%1\"");
    }

    void RegisterControl(const std::wstring &progId = kProgId, Caller = {})
    {
        Make(HKEY_CLASSES_ROOT, progId + L"\\CLSID", kClsid);
    }

    void SetCodebase(bool wow, const std::wstring &address, REGSAM view = 0, Caller = {})
    {
        Record(kClsid, wow, L"DownloadInformation", L"CODEBASE", address, view);
    }

    // A click on the real button, which notifies the main window.
    void PressDownload()
    {
        SendMessageW(g_downloadButton, BM_CLICK, 0, 0);
        PumpMessages(20);
    }

    // The lookups' answer, and the shell was not called.
    void ExpectOneBox(const wchar_t *caption, const std::wstring &text, Caller = {}) override
    {
        UninstallPageTest::ExpectOneBox(caption, text);
        EXPECT_TRUE(TakeShellCalls().empty());
    }

    // No box, every key opened closed, and one call of the shell, which is given back.
    ShellCallRecord TheShellCall(Caller = {})
    {
        EXPECT_TRUE(TakeBoxes().empty());
        EXPECT_EQ(0, KeysLeftOpen());
        std::vector<ShellCallRecord> calls = TakeShellCalls();
        EXPECT_EQ(1u, calls.size());
        return calls.empty() ? ShellCallRecord() : calls[0];
    }

    // Waits (at most 20 s) for the scheme's handler to record an address.
    std::wstring WaitForRecord()
    {
        for (int i = 0; i < 200 && !FileExists(recordFile); i++)
            PumpMessages(100);
        return FromBytes(ReadFileBytes(recordFile));
    }
};

TEST_F(Download, ButtonTellsWhatIsMissing)
{
    PressDownload();
    ExpectOneBox(L"提示", L"请点击查询安装按钮！");

    RegisterControl();
    Fill({L"ORVI.Other", kProgId}, -1);
    PressDownload();
    ExpectOneBox(L"提示", L"请点击列表中需要下载的控件！");

    // Registered by dropping its file: the browser never recorded it.
    SendMessageW(g_controlList, LB_SETCURSEL, 1, 0);
    PressDownload();
    ExpectOneBox(L"提示", L"无法找到下载路径！");

    // A record without address, and an address of more than 500 bytes.
    Record(kClsid, false, L"DownloadInformation", L"OSD", L"x");
    PressDownload();
    ExpectOneBox(L"提示", L"无法找到下载路径！");

    SetCodebase(false, L"orvitest://" + std::wstring(239, L'a'));
    PressDownload();
    ExpectOneBox(L"提示", L"无法找到下载路径！");
}

TEST_F(Download, ClsidErrorsEndTheDownload)
{
    SetCodebase(false, L"orvitest://never");
    Fill({kProgId}, 0);

    EachClsidFault(kProgId, [this] { PressDownload(); });

    // An empty CLSID text names no record.
    Make(HKEY_CLASSES_ROOT, std::wstring(kProgId) + L"\\CLSID", L"");
    PressDownload();
    ExpectOneBox(L"提示", L"无法找到下载路径！");
}

TEST_F(Download, RecordedAddressReachesTheShellsHandler)
{
    const std::wstring address = L"orvitest://download.example/orvi/OrviCtl.cab#version=3,1,0,27";
    RegisterRecorderScheme();
    RegisterControl();
    SetCodebase(false, address);
    Fill({kProgId}, 0);

    PressDownload();
    ShellCallRecord call = TheShellCall();
    EXPECT_EQ(window, call.owner);
    EXPECT_EQ(L"open", call.verb);
    EXPECT_EQ(address, call.file);
    EXPECT_TRUE(call.parametersNull);
    EXPECT_TRUE(call.directoryNull);
    EXPECT_EQ(SW_SHOW, call.show);
    EXPECT_EQ(address, WaitForRecord());
}

// The whole name is looked up, however long the registry lets it be.
TEST_F(Download, ProgIdOf255CharactersIsLookedUp)
{
    const std::wstring progId = L"VY.Of" + std::wstring(250, L'i');
    const std::wstring address = L"orvi-none://download.example/info.cab";
    RegisterControl(progId);
    SetCodebase(false, address);
    Fill({progId}, 0);

    PressDownload();
    EXPECT_EQ(address, TheShellCall().file);
}

TEST_F(Download, ThirtyTwoBitViewReadsTheWow6432NodeRecord)
{
    const std::wstring address = L"orvitest://wow/OrviCtl.cab";
    RegisterRecorderScheme();
    RegisterControl();
    Fill({kProgId}, 0);

    // Recorded only in the 64-bit view while the tool takes the 32-bit view.
    UseWow64Column(true);
    SetCodebase(false, L"orvitest://native/OrviCtl.cab", KEY_WOW64_64KEY);
    PressDownload();
    ExpectOneBox(L"提示", L"无法找到下载路径！");

    SetCodebase(true, address);
    PressDownload();
    EXPECT_TRUE(TakeBoxes().empty());
    EXPECT_EQ(address, WaitForRecord());
    for (const KeyOpenRecord &o : TakeKeyOpens()) {
        EXPECT_EQ(0u, o.options);
        EXPECT_EQ((REGSAM)KEY_READ, o.access);
    }
}

TEST_F(Download, EmptyAddressIsStillHandedToTheShell)
{
    RegisterControl();
    SetCodebase(false, L"");
    Fill({kProgId}, 0);

    PressDownload();
    ShellCallRecord call = TheShellCall();
    EXPECT_EQ(L"", call.file);
    EXPECT_EQ(L"open", call.verb);
    EXPECT_EQ(SW_SHOW, call.show);
    // The real ShellExecuteW ran and answered. Windows opens the working
    // folder; Wine 8 tries to start the folder and then an empty command and
    // returns 11 (bad format), showing nothing.
    EXPECT_NE(0, call.result);
}

} // namespace
