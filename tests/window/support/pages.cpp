// The pages of the real main window over a scene the test owns.
#include "window/support/window_support.h"

#include "app/app.h"

void PageTest::SetUp()
{
    BeginScene(scratchName);
    if (logRuns)
        LogServer();
    MainWindowTest::SetUp();
    if (page != 1) {
        g_page = page;
        Repaint(window);
    }
}

void PageTest::TearDown()
{
    ReleaseGuards();
    MainWindowTest::TearDown();
    EndScene();
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
