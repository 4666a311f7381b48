// Load on the real main window: 2,000 family controls listed and uninstalled
// in one go and 50 cabinet drops in a row. Each part is sized to stay within
// a few tens of seconds under wine64.
#include "support/cabinet_maker.h"
#include "support/test_support.h"

#include "app/app.h"
#include "controls/controls.h"
#include "register/register.h"

#include <gtest/gtest.h>

#include <set>
#include <stdio.h>

namespace {

const HKEY kCR = HKEY_CLASSES_ROOT;

// ---- 2,000 controls -------------------------------------------------------------

// ORVI_LOAD_SIZES=reduced (the test command sets it for one of its two
// suites, to keep within its time) takes a tenth of the controls and cabinet
// drops.
bool Reduced()
{
    wchar_t sizes[16] = {};
    GetEnvironmentVariableW(L"ORVI_LOAD_SIZES", sizes, 16);
    return lstrcmpW(sizes, L"reduced") == 0;
}
const int kControls = Reduced() ? 200 : 2000;
const int kDrops = Reduced() ? 5 : 50;

std::wstring LoadProgId(int i)
{
    wchar_t name[32];
    swprintf(name, 32, L"ORVI.Load%04d", i);
    return name;
}

// The class, type library and interface of control i differ in their first
// group only, as a control's own GUIDs often do; the last group tells the
// controls apart, so each pass matches the control's own keys alone.
std::wstring LoadGuid(const wchar_t *firstGroup, int i)
{
    wchar_t guid[40];
    swprintf(guid, 40, L"{%ls-1111-4222-8333-0000000%05d}", firstGroup, i);
    return guid;
}

std::vector<std::wstring> LoadKeys(int i)
{
    return {LoadProgId(i), L"CLSID\\" + LoadGuid(L"7D0AD000", i), L"TypeLib\\" + LoadGuid(L"7E0AD000", i),
            L"Interface\\" + LoadGuid(L"7F0AD000", i)};
}

void CreateKey(const std::wstring &path, const std::wstring &value)
{
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExW(kCR, path.c_str(), 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key, NULL));
    RegSetValueExW(key, NULL, 0, REG_SZ, (const BYTE *)value.c_str(),
                   (DWORD)((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
}

void RemoveLoadKeys()
{
    for (int i = 0; i < kControls; i++) {
        for (const std::wstring &key : LoadKeys(i))
            DeleteTree(kCR, key);
    }
}

TEST(Load, TwoThousandControlsAreListedAndAllUninstalled)
{
    StartAnsweringBoxes();
    RemoveFamilyKeys();
    RemoveLoadKeys();
    DWORD start = GetTickCount();
    for (int i = 0; i < kControls; i++) {
        std::wstring clsid = LoadGuid(L"7D0AD000", i);
        std::wstring typeLib = LoadGuid(L"7E0AD000", i);
        CreateKey(LoadProgId(i) + L"\\CLSID", clsid);
        CreateKey(L"CLSID\\" + clsid + L"\\TypeLib", typeLib);
        CreateKey(L"TypeLib\\" + typeLib + L"\\1.0", L"load test library");
        CreateKey(L"Interface\\" + LoadGuid(L"7F0AD000", i) + L"\\TypeLib", typeLib);
    }
    printf("registered %d controls in %lu ms\n", kControls, GetTickCount() - start);

    HWND window = StartMainWindow();
    start = GetTickCount();
    Command(window, g_queryButton, BN_CLICKED);
    printf("query in %lu ms\n", GetTickCount() - start);
    std::vector<std::wstring> entries = ListEntries();
    ASSERT_EQ((size_t)kControls, entries.size());
    std::set<std::wstring> listed(entries.begin(), entries.end());
    for (int i = 0; i < kControls; i++)
        ASSERT_EQ(1u, listed.count(LoadProgId(i))) << i;
    EXPECT_TRUE(TakeBoxes().empty());

    // Every removal waits for a run of regsvr32.exe and walks the Interface
    // key three times: this is the slowest test of the suite (minutes).
    start = GetTickCount();
    QueueBoxAnswer(IDYES);
    Command(window, g_uninstallAllButton, BN_CLICKED);
    printf("uninstall all in %lu ms\n", GetTickCount() - start);
    EXPECT_EQ(1u, TakeBoxes().size());
    EXPECT_TRUE(ListEntries().empty());
    EXPECT_TRUE(FamilyKeys().empty());
    int stray = 0;
    for (int i = 0; i < kControls; i++) {
        for (const std::wstring &key : LoadKeys(i)) {
            if (KeyExists(kCR, key) && stray++ < 5)
                ADD_FAILURE() << "left behind: " << std::string(key.begin(), key.end());
        }
    }
    EXPECT_EQ(0, stray);

    CloseMainWindow(window);
    RemoveLoadKeys();
    StopAnsweringBoxes();
}

// ---- 50 cabinets --------------------------------------------------------------------

std::wstring Drive()
{
    wchar_t dir[MAX_PATH] = {};
    GetSystemDirectoryW(dir, MAX_PATH);
    return std::wstring(1, dir[0]);
}

std::wstring BaseFolder()
{
    return Drive() + L":\\OrviActiveX";
}

std::set<std::wstring> Folders()
{
    std::set<std::wstring> names;
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((BaseFolder() + L"\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE)
        return names;
    do {
        std::wstring name = found.cFileName;
        if (name != L"." && name != L"..")
            names.insert(name);
    } while (FindNextFileW(find, &found));
    FindClose(find);
    return names;
}

void RemoveFolder(const std::wstring &number)
{
    std::wstring folder = BaseFolder() + L"\\" + number;
    for (const wchar_t *name : {L"\\testctl.ocx", L"\\readme.txt"}) {
        SetFileAttributesW((folder + name).c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW((folder + name).c_str());
    }
    RemoveDirectoryW(folder.c_str());
}

TEST(Load, FiftyCabinetDropsLeaveFiftySeparateFoldersAndReports)
{
    StartAnsweringBoxes();
    RemoveFamilyKeys();
    std::wstring scratch = MakeScratchDir(L"load cabinets");
    std::string server = ReadFileBytes(TestServerPath());
    CabEntry control, text;
    control.storedName = "testctl.ocx";
    control.bytes = server;
    text.storedName = "readme.txt";
    text.bytes = "load";
    ASSERT_EQ(1, MakeCabinet(scratch, "load.cab", {control, text}));
    std::wstring cab = scratch + L"\\load.cab";
    HWND window = StartMainWindow();

    std::set<std::wstring> existing = Folders();
    std::vector<std::wstring> made;
    DWORD start = GetTickCount();
    for (int i = 0; i < kDrops; i++) {
        std::set<std::wstring> before = Folders();
        SendDrop(window, {cab});
        std::vector<std::wstring> fresh;
        for (const std::wstring &name : Folders()) {
            if (!before.count(name))
                fresh.push_back(name);
        }
        ASSERT_EQ(1u, fresh.size()) << "drop " << i;
        made.push_back(fresh[0]);
        std::wstring reported = Drive() + L":/OrviActiveX/" + fresh[0] + L"/";
        EXPECT_EQ(L"解压文件列表:\r\n" + reported + L"testctl.ocx\r\n" + reported +
                      L"readme.txt\r\n注册状态:注册成功！",
                  WindowText(g_infoEdit))
            << "drop " << i;
        EXPECT_STREQ(L"拖入文件路径:", g_statusText);
        std::wstring folder = BaseFolder() + L"\\" + fresh[0];
        EXPECT_EQ("load", ReadFileBytes(folder + L"\\readme.txt"));
        EXPECT_TRUE(ReadFileBytes(folder + L"\\testctl.ocx") == server);
    }
    printf("%d cabinet drops in %lu ms\n", kDrops, GetTickCount() - start);
    EXPECT_EQ((size_t)kDrops, std::set<std::wstring>(made.begin(), made.end()).size());
    EXPECT_TRUE(TakeBoxes().empty());

    CloseMainWindow(window);
    for (const std::wstring &name : Folders()) {
        if (!existing.count(name))
            RemoveFolder(name);
    }
    RemoveFamilyKeys();
    StopAnsweringBoxes();
}

} // namespace
