// Load on the real main window: 2,000 family controls listed and uninstalled
// in one go. Sized to stay within a few tens of seconds under wine64.
#include "support/test_support.h"

#include "app/app.h"
#include "controls/controls.h"
#include "register/register.h"

#include <gtest/gtest.h>

#include <stdio.h>

namespace {

const HKEY kCR = HKEY_CLASSES_ROOT;

// ---- 2,000 controls -------------------------------------------------------------

// Reduced load sizes take a tenth.
const int kControls = LoadSize(2000);

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

} // namespace
