// Bad registry input through the real main window: registry names at the
// registry's limit, CLSID values that are no GUIDs, over-long and malformed
// values. Each gets a clear report or a defined refusal, and nothing is acted
// on under a cut or garbled name.
#include "support/test_support.h"

#include "app/app.h"
#include "controls/controls.h"
#include "register/register.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

const HKEY kCR = HKEY_CLASSES_ROOT;
const wchar_t kCodeStore[] = L"SOFTWARE\\Microsoft\\Code Store DataBase";

// A value of any type and byte count, so it may lack its terminator or end
// in half a character.
void SetRawValue(HKEY root, const std::wstring &path, const wchar_t *name, const std::wstring &data,
                 DWORD bytes)
{
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(root, path.c_str(), 0, NULL, 0, KEY_ALL_ACCESS, NULL,
                                             &key, NULL));
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(key, name, 0, REG_SZ, (const BYTE *)data.c_str(), bytes));
    RegCloseKey(key);
}

class RegistryInput : public ::testing::Test {
protected:
    void SetUp() override
    {
        StartAnsweringBoxes();
        RemoveFamilyKeys();
        hadCodeStore = KeyExists(HKEY_LOCAL_MACHINE, kCodeStore);
        scratch = MakeScratchDir(L"registry input");
        window = StartMainWindow();
    }
    void TearDown() override
    {
        CloseMainWindow(window);
        for (auto it = made.rbegin(); it != made.rend(); ++it)
            DeleteTree(it->first, it->second);
        if (!hadCodeStore)
            DeleteTree(HKEY_LOCAL_MACHINE, kCodeStore);
        RemoveFamilyKeys();
        StopAnsweringBoxes();
    }
    // Removed after the test with everything below it.
    void Own(HKEY root, const std::wstring &path)
    {
        made.push_back(std::make_pair(root, path));
    }
    void Make(HKEY root, const std::wstring &path, const std::wstring &value = L"input test")
    {
        made.push_back(std::make_pair(root, path));
        SetDefaultValue(root, path, value);
        ASSERT_TRUE(KeyExists(root, path)) << path.size();
    }
    // A control as regsvr32 leaves it: ProgID, class key with its server.
    std::wstring Control(const std::wstring &progId, const std::wstring &clsid,
                         const std::wstring &fileName)
    {
        std::wstring server = scratch + L"\\" + fileName;
        WriteFileBytes(server, "server of " + std::to_string(progId.size()));
        Make(kCR, progId + L"\\CLSID", clsid);
        Own(kCR, L"CLSID\\" + clsid);
        Make(kCR, L"CLSID\\" + clsid + L"\\InprocServer32", server);
        return server;
    }
    void Command(HWND sender, WORD code)
    {
        SendMessageW(window, WM_COMMAND, MAKEWPARAM(0, code), (LPARAM)sender);
    }
    void Select(const std::wstring &entry)
    {
        LRESULT index =
            SendMessageW(g_controlList, LB_FINDSTRINGEXACT, (WPARAM)-1, (LPARAM)entry.c_str());
        ASSERT_NE(LB_ERR, index);
        SendMessageW(g_controlList, LB_SETCURSEL, index, 0);
    }
    std::vector<std::pair<HKEY, std::wstring>> made;
    std::wstring scratch;
    bool hadCodeStore = false;
    HWND window = NULL;
};

TEST_F(RegistryInput, FamilyNamesOf255CharactersAreListedWhole)
{
    const std::wstring upper = L"ORVI." + std::wstring(250, L'U');
    const std::wstring mixed = L"Orvi." + std::wstring(250, L'm');
    // 255 characters, 505 bytes in code page 936.
    const std::wstring chinese = L"PDF.O" + std::wstring(250, L'中');
    const std::wstring other = L"ORVi." + std::wstring(250, L'x');
    for (const std::wstring &name : {upper, mixed, chinese, other})
        Make(kCR, name);
    EXPECT_EQ(3, QueryInstalledControls());
    std::vector<std::wstring> entries = ListEntries();
    EXPECT_EQ(entries, FamilyKeys());
    for (const std::wstring &name : {upper, mixed, chinese})
        EXPECT_EQ(1, std::count(entries.begin(), entries.end(), name)) << name.substr(0, 5);
}

// What the removal cannot name whole it refuses: a ProgID that does not fit
// its paths stays, with its class and server, and stays listed.
TEST_F(RegistryInput, NamesTooLongForTheRemovalAreRefusedWholeAndStayListed)
{
    const std::wstring atLimit = L"ORVI." + std::wstring(250, L'r');
    const std::wstring cut = atLimit.substr(0, 254);
    const std::wstring longest = atLimit.substr(0, 248); // with "\CLSID" 254 characters
    const std::wstring tooLong = atLimit.substr(0, 249);
    std::wstring serverAtLimit = Control(atLimit, L"{11111111-2222-4333-8444-555555555501}", L"a.ocx");
    std::wstring serverCut = Control(cut, L"{11111111-2222-4333-8444-555555555502}", L"b.ocx");
    std::wstring serverLongest = Control(longest, L"{11111111-2222-4333-8444-555555555503}", L"c.ocx");
    std::wstring serverTooLong = Control(tooLong, L"{11111111-2222-4333-8444-555555555504}", L"d.ocx");

    Command(g_queryButton, BN_CLICKED);
    ASSERT_EQ(4u, ListEntries().size());
    Select(atLimit);
    QueueBoxAnswer(IDYES);
    Command(g_controlList, LBN_DBLCLK);
    EXPECT_TRUE(KeyExists(kCR, atLimit + L"\\CLSID"));
    EXPECT_TRUE(KeyExists(kCR, cut + L"\\CLSID"));
    EXPECT_TRUE(FileExists(serverAtLimit));
    EXPECT_TRUE(FileExists(serverCut));
    EXPECT_EQ(4u, ListEntries().size());

    QueueBoxAnswer(IDYES);
    Command(g_uninstallAllButton, BN_CLICKED);
    EXPECT_EQ(2u, TakeBoxes().size());
    // Only the one whose paths fit is gone, with its class key and its file.
    EXPECT_FALSE(KeyExists(kCR, longest));
    EXPECT_FALSE(KeyExists(kCR, L"CLSID\\{11111111-2222-4333-8444-555555555503}"));
    EXPECT_FALSE(FileExists(serverLongest));
    for (const std::wstring &kept : {atLimit, cut, tooLong})
        EXPECT_TRUE(KeyExists(kCR, kept + L"\\CLSID")) << kept.size();
    for (const std::wstring &file : {serverAtLimit, serverCut, serverTooLong})
        EXPECT_TRUE(FileExists(file));
    EXPECT_TRUE(KeyExists(kCR, L"CLSID\\{11111111-2222-4333-8444-555555555501}"));
    EXPECT_TRUE(KeyExists(kCR, L"CLSID\\{11111111-2222-4333-8444-555555555504}"));
    EXPECT_EQ(ListEntries(), FamilyKeys());
    EXPECT_EQ(3u, ListEntries().size());
}

TEST_F(RegistryInput, InformationAndDownloadOfA255CharacterNameAreLookedUp)
{
    const std::wstring progId = L"VY.Of" + std::wstring(250, L'i');
    const std::wstring clsid = L"{22222222-3333-4444-8555-666666666601}";
    std::wstring server = Control(progId, clsid, L"info.ocx");
    const std::wstring address = L"orvi-none://download.example/info.cab";
    Own(HKEY_LOCAL_MACHINE, std::wstring(kCodeStore) + L"\\Distribution Units\\" + clsid);
    Make(HKEY_LOCAL_MACHINE, std::wstring(kCodeStore) + L"\\Distribution Units\\" + clsid +
                                 L"\\DownloadInformation");
    SetStringValue(HKEY_LOCAL_MACHINE,
                   std::wstring(kCodeStore) + L"\\Distribution Units\\" + clsid + L"\\DownloadInformation",
                   L"CODEBASE", address);
    QueryInstalledControls();
    Select(progId);
    StartWatchingCalls();

    SendMessageW(window, WM_CONTEXTMENU, (WPARAM)g_controlList, MAKELPARAM(300, 300));
    std::vector<BoxRecord> boxes = TakeBoxes();
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ(L"OrviInfo", boxes[0].caption);
    EXPECT_EQ(L"CLSID：" + clsid + L"\r\nPATH：" + server, boxes[0].text);

    Command(g_downloadButton, BN_CLICKED);
    std::vector<ShellCallRecord> calls = TakeShellCalls();
    ASSERT_EQ(1u, calls.size());
    EXPECT_EQ(address, calls[0].file);
    EXPECT_EQ(0, KeysLeftOpen());
    TakeBoxes();
}

// A CLSID text that holds a backslash names no single key below "CLSID": the
// registry would read "CLSID\\" + "\\X" as "CLSID\X", and a text of one
// backslash as the whole "CLSID" key. Such a text counts as no CLSID.
TEST_F(RegistryInput, ClsidValuesThatAreNoGuidsEmptyOrTooLong)
{
    Own(kCR, L"CLSID\\OrviVictim");
    Make(kCR, L"CLSID\\OrviVictim\\Inner\\InprocServer32", scratch + L"\\victim-inner.ocx");
    Make(kCR, L"CLSID\\OrviVictim\\InprocServer32", scratch + L"\\victim.ocx");
    WriteFileBytes(scratch + L"\\victim.ocx", "victim");
    WriteFileBytes(scratch + L"\\victim-inner.ocx", "victim inner");
    const std::wstring longValue = L"{" + std::wstring(298, L'7') + L"}";
    // The cut forms of the 300-character value name real keys that must survive.
    Make(kCR, L"CLSID\\" + longValue.substr(0, 126));
    Make(kCR, L"CLSID\\" + longValue.substr(0, 249));
    Make(kCR, L"ORVI.Bad1\\CLSID", L"\\OrviVictim");
    Make(kCR, L"ORVI.Bad2\\CLSID", L"OrviVictim\\Inner");
    Make(kCR, L"ORVI.Bad3\\CLSID", L"");
    Make(kCR, L"ORVI.Bad4\\CLSID", longValue);
    DWORD classes = SubkeyCount(kCR, L"CLSID");

    for (const wchar_t *progId : {L"ORVI.Bad1", L"ORVI.Bad2", L"ORVI.Bad3", L"ORVI.Bad4"}) {
        EXPECT_EQ(1, UninstallControl(progId));
        EXPECT_FALSE(KeyExists(kCR, progId)) << progId;
        EXPECT_EQ(classes, SubkeyCount(kCR, L"CLSID")) << progId;
    }
    EXPECT_TRUE(KeyExists(kCR, L"CLSID\\OrviVictim\\Inner\\InprocServer32"));
    EXPECT_EQ("victim", ReadFileBytes(scratch + L"\\victim.ocx"));
    EXPECT_EQ("victim inner", ReadFileBytes(scratch + L"\\victim-inner.ocx"));
    EXPECT_TRUE(KeyExists(kCR, L"CLSID\\" + longValue.substr(0, 126)));
    EXPECT_TRUE(KeyExists(kCR, L"CLSID\\" + longValue.substr(0, 249)));

    // A plain text that is no GUID names one class key: that key goes, as any class key.
    std::wstring server = Control(L"ORVI.Bad5", L"NotAGuid", L"notaguid.ocx");
    EXPECT_EQ(1, UninstallControl(L"ORVI.Bad5"));
    EXPECT_FALSE(KeyExists(kCR, L"CLSID\\NotAGuid"));
    EXPECT_FALSE(FileExists(server));
    EXPECT_EQ(classes, SubkeyCount(kCR, L"CLSID"));

    // Information and download end with their error boxes and read nothing cut.
    Make(kCR, L"ORVI.Bad3\\CLSID", L"");
    Make(kCR, L"ORVI.Bad4\\CLSID", longValue);
    TakeBoxes();
    ShowControlInfo(window, L"ORVI.Bad3");
    OpenDownloadLocation(L"ORVI.Bad3", window);
    ShowControlInfo(window, L"ORVI.Bad4");
    OpenDownloadLocation(L"ORVI.Bad4", window);
    std::vector<BoxRecord> boxes = TakeBoxes();
    ASSERT_EQ(4u, boxes.size());
    EXPECT_EQ(L"RegOpenKeyEx失败！", boxes[0].text);
    EXPECT_EQ(L"无法找到下载路径！", boxes[1].text);
    EXPECT_EQ(L"RegQueryValueEx失败！", boxes[2].text);
    EXPECT_EQ(L"RegQueryValueEx失败！", boxes[3].text);
}

// Server paths are read in 10,000 bytes. The value read whole is used whole
// (and refused by the registrar, which takes 490 characters); a value that
// is larger, or ends in half a character, is not used at all. Files named by
// cut forms of the path must survive.
TEST_F(RegistryInput, LongUnterminatedAndOddSizedServerPathsAreNeverCut)
{
    const std::wstring log = scratch + L"\\server.log";
    SetEnv(L"ORVI_TEST_LOG", log.c_str());
    // Folders of 150 and 200 characters; the 259-character file stands beside
    // the second one, whose name begins with its name.
    std::wstring outer = scratch + L"\\" + std::wstring(150, L'p');
    std::wstring inner = outer + L"\\" + std::wstring(200, L'p');
    ASSERT_TRUE(CreateDirectoryW(outer.c_str(), NULL));
    ASSERT_TRUE(CreateDirectoryW(inner.c_str(), NULL));
    std::wstring cut259 = inner.substr(0, 259);
    std::wstring cut490 = inner + L"\\" + std::wstring(486 - inner.size() - 1, L'p') + L".ocx";
    ASSERT_EQ(490u, cut490.size());
    WriteFileBytes(cut259, "cut at 259");
    ASSERT_TRUE(FileExists(cut259));
    ASSERT_TRUE(CopyFileW(TestServerPath().c_str(), cut490.c_str(), FALSE));
    std::wstring long4999 = cut490 + std::wstring(4999 - cut490.size(), L'p');
    ASSERT_EQ(4999u, long4999.size());
    std::wstring long5001 = long4999 + L"pp";

    const std::wstring clsid = L"{33333333-4444-4555-8666-777777777701}";
    const std::wstring serverKey = L"CLSID\\" + clsid + L"\\InprocServer32";
    struct Case {
        const wchar_t *what;
        std::wstring data;
        DWORD bytes;
    } cases[] = {
        {L"10,000 bytes with terminator", long4999, 10000},
        {L"10,000 bytes without terminator", long4999 + L"p", 10000},
        {L"10,002 bytes", long5001, 10002},
        {L"9,999 bytes", long4999 + L"p", 9999},
    };
    for (const Case &c : cases) {
        Make(kCR, L"ORVI.LongPath\\CLSID", clsid);
        SetRawValue(kCR, serverKey, NULL, c.data, c.bytes);
        Own(kCR, L"CLSID\\" + clsid);
        EXPECT_EQ(1, UninstallControl(L"ORVI.LongPath"));
        EXPECT_FALSE(KeyExists(kCR, L"ORVI.LongPath")) << c.what;
        EXPECT_FALSE(KeyExists(kCR, L"CLSID\\" + clsid)) << c.what;
        EXPECT_TRUE(FileExists(cut259)) << c.what;
        EXPECT_TRUE(FileExists(cut490)) << c.what;
    }
    EXPECT_TRUE(ReadServerLog(log).empty());

    // Half a character at the end: Wine hands the low byte on as a character
    // of its own ("控" would end as "§"). The path read that way names another
    // file, which must survive.
    std::wstring real = scratch + L"\\odd控";
    std::wstring garbled = scratch + L"\\odd\x00A7";
    WriteFileBytes(real, "real");
    WriteFileBytes(garbled, "garbled");
    Make(kCR, L"ORVI.OddPath\\CLSID", clsid);
    SetRawValue(kCR, serverKey, NULL, real, (DWORD)(real.size() * 2 - 1));
    EXPECT_EQ(1, UninstallControl(L"ORVI.OddPath"));
    EXPECT_FALSE(KeyExists(kCR, L"ORVI.OddPath"));
    EXPECT_EQ("garbled", ReadFileBytes(garbled));
    EXPECT_EQ("real", ReadFileBytes(real));

    // Unterminated but whole: used as it is.
    Make(kCR, L"ORVI.OddPath\\CLSID", clsid);
    SetRawValue(kCR, serverKey, NULL, real + L"zz", (DWORD)(real.size() * 2));
    EXPECT_EQ(1, UninstallControl(L"ORVI.OddPath"));
    EXPECT_FALSE(FileExists(real));
    EXPECT_EQ("garbled", ReadFileBytes(garbled));
    SetEnv(L"ORVI_TEST_LOG", NULL);
}

// The same for the CLSID value and the values the information box shows.
TEST_F(RegistryInput, OddSizedValuesCountAsUnreadable)
{
    const std::wstring clsid = L"{44444444-5555-4666-8777-888888888801}";
    // The CLSID with half a character behind it: "{...}" + "§" would name another class.
    const std::wstring garbledClass = L"CLSID\\" + clsid + L"\x00A7";
    Own(kCR, garbledClass);
    Make(kCR, garbledClass + L"\\InprocServer32", scratch + L"\\garbled.ocx");
    WriteFileBytes(scratch + L"\\garbled.ocx", "garbled");
    Make(kCR, L"ORVI.OddClsid\\CLSID");
    SetRawValue(kCR, L"ORVI.OddClsid\\CLSID", NULL, clsid + L"控", (DWORD)(clsid.size() * 2 + 1));
    wchar_t value[kDefaultValueSize];
    EXPECT_EQ(0, ReadDefaultValue(L"ORVI.OddClsid\\CLSID", value));
    EXPECT_EQ(L"", std::wstring(value));
    EXPECT_EQ(1, UninstallControl(L"ORVI.OddClsid"));
    EXPECT_FALSE(KeyExists(kCR, L"ORVI.OddClsid"));
    EXPECT_TRUE(KeyExists(kCR, garbledClass));
    EXPECT_EQ("garbled", ReadFileBytes(scratch + L"\\garbled.ocx"));

    // Information: the server path with half a character is unreadable.
    Control(L"ORVI.OddInfo", clsid, L"odd-info.ocx");
    SetRawValue(kCR, L"CLSID\\" + clsid + L"\\InprocServer32", NULL, L"C:\\odd控", 13);
    TakeBoxes();
    ShowControlInfo(window, L"ORVI.OddInfo");
    std::vector<BoxRecord> boxes = TakeBoxes();
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ(L"RegQueryValueEx失败！", boxes[0].text);
}

} // namespace
