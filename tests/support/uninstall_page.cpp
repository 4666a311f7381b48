// The Uninstall page over keys the test owns.
#include "support/test_support.h"

#include "app/app.h"

void UninstallPageTest::SetUp()
{
    hadCodeStore[0] = KeyExists(HKEY_LOCAL_MACHINE, kCodeStore);
    hadCodeStore[1] = KeyExists(HKEY_LOCAL_MACHINE, kCodeStoreWow);
    UseWow64Column(ProcessIsWow64());
    MainWindowTest::SetUp();
    g_page = 2;
    Repaint(window);
    if (watchCalls)
        StartWatchingCalls();
}

void UninstallPageTest::TearDown()
{
    MainWindowTest::TearDown();
    for (auto it = owned.rbegin(); it != owned.rend(); ++it)
        DeleteTree(it->root, it->path, it->view);
    owned.clear();
    if (!hadCodeStore[0])
        DeleteTree(HKEY_LOCAL_MACHINE, kCodeStore);
    if (!hadCodeStore[1])
        DeleteTree(HKEY_LOCAL_MACHINE, kCodeStoreWow);
    UseWow64Column(ProcessIsWow64());
}

void UninstallPageTest::Own(HKEY root, const std::wstring &path, REGSAM view)
{
    owned.push_back(OwnedKey{root, path, view});
}

void UninstallPageTest::Make(HKEY root, const std::wstring &path, const std::wstring &value,
                             REGSAM view, Caller)
{
    MakeRaw(root, path, NULL, value, (DWORD)((value.size() + 1) * sizeof(wchar_t)), view);
}

void UninstallPageTest::MakeRaw(HKEY root, const std::wstring &path, const wchar_t *name,
                                const std::wstring &data, DWORD bytes, REGSAM view, Caller)
{
    Own(root, path, view);
    // Created rather than opened, so a test that watches the tool's opens sees none of these.
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(root, path.c_str(), 0, NULL, 0, KEY_ALL_ACCESS | view,
                                             NULL, &key, NULL))
        << path;
    LSTATUS set = RegSetValueExW(key, name, 0, REG_SZ, (const BYTE *)data.c_str(), bytes);
    RegCloseKey(key);
    ASSERT_EQ(ERROR_SUCCESS, set) << path;
}

void UninstallPageTest::MakeEmpty(HKEY root, const std::wstring &path, Caller)
{
    Own(root, path);
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExW(root, path.c_str(), 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key, NULL));
    RegCloseKey(key);
}

void UninstallPageTest::Record(const std::wstring &clsid, bool wow, const wchar_t *subkey,
                               const wchar_t *name, const std::wstring &value, REGSAM view, Caller)
{
    if (wow)
        view = KEY_WOW64_32KEY;
    Own(HKEY_LOCAL_MACHINE, UnitKey(false, clsid), view);
    MakeRaw(HKEY_LOCAL_MACHINE, UnitKey(false, clsid) + L"\\" + subkey, name, value,
            (DWORD)((value.size() + 1) * sizeof(wchar_t)), view);
}

void UninstallPageTest::Fill(const std::vector<std::wstring> &entries, int selected)
{
    SendMessageW(g_controlList, LB_RESETCONTENT, 0, 0);
    for (const std::wstring &e : entries)
        SendMessageW(g_controlList, LB_ADDSTRING, 0, (LPARAM)e.c_str());
    SendMessageW(g_controlList, LB_SETCURSEL, selected, 0);
}

void UninstallPageTest::PressQuery()
{
    Command(g_queryButton, BN_CLICKED);
}

void UninstallPageTest::ExpectOneBox(const wchar_t *caption, const std::wstring &text, Caller)
{
    EXPECT_BOX(window, caption, text, kOkBox);
    EXPECT_EQ(0, KeysLeftOpen());
}

void UninstallPageTest::EachClsidFault(const std::wstring &progId, const std::function<void()> &act,
                                       Caller)
{
    // A family entry that is not a COM class.
    Make(HKEY_CLASSES_ROOT, progId, L"ORVI document");
    act();
    ExpectOneBox(L"ERROR", L"RegOpenKeyEx失败！");
    MakeEmpty(HKEY_CLASSES_ROOT, progId + L"\\CLSID");
    act();
    ExpectOneBox(L"ERROR", L"RegQueryValueEx失败！");
    Make(HKEY_CLASSES_ROOT, progId + L"\\CLSID", L"{" + std::wstring(298, L'7') + L"}");
    act();
    ExpectOneBox(L"ERROR", L"RegQueryValueEx失败！");
}
