// Control information: the right click on the list, the CLSID lookup and the
// information box, read from real keys in both registry views.
#include "support/test_support.h"

#include "app/app.h"
#include "controls/controls.h"
#include "controls/actions.h"

#include <gtest/gtest.h>

#include <algorithm>

// Each build takes the view its process shows for real on the platform's
// answer, and the other view through the test double of
// support/wow64_column.cpp.

namespace {

const wchar_t kProgId[] = L"ORVI.InfoTest";
const wchar_t kOtherProgId[] = L"ORVI.InfoOther";
const wchar_t kClsid[] = L"{6F1D2A3B-1111-4C2D-9E0F-A1B2C3D4E5F6}";
const wchar_t kOtherClsid[] = L"{6F1D2A3B-2222-4C2D-9E0F-A1B2C3D4E5F6}";
const wchar_t kServer[] = L"C:\\windows\\system32\\OrviInfoTest.ocx";

std::wstring ServerKey(bool wow, const std::wstring &clsid)
{
    return (wow ? L"Wow6432Node\\CLSID\\" : L"CLSID\\") + clsid + L"\\InprocServer32";
}

class ControlInfo : public UninstallPageTest {
protected:
    ControlInfo() : UninstallPageTest(true)
    {
    }

    // The ProgID's CLSID and the server key of one view, as regsvr32 leaves them.
    void Register(const std::wstring &progId, const std::wstring &clsid, bool wow,
                  const std::wstring &server = kServer, Caller = {})
    {
        Make(HKEY_CLASSES_ROOT, progId + L"\\CLSID", clsid);
        Own(HKEY_CLASSES_ROOT, (wow ? L"Wow6432Node\\CLSID\\" : L"CLSID\\") + clsid);
        Make(HKEY_CLASSES_ROOT, ServerKey(wow, clsid), server);
    }

    void ContextMenu(WPARAM clicked, LPARAM position)
    {
        SendMessageW(window, WM_CONTEXTMENU, clicked, position);
    }

    void RightClickOnList()
    {
        ContextMenu((WPARAM)g_controlList, MAKELPARAM(300, 400));
    }
};

std::wstring InfoText(const std::wstring &clsid, const std::wstring &server)
{
    return L"CLSID：" + clsid + L"\r\nPATH：" + server;
}

TEST_F(ControlInfo, ShowsClsidAndPathOnTwoLinesWithoutDownloadRecord)
{
    Register(kProgId, kClsid, false);
    Fill({kOtherProgId, kProgId}, 1);
    RightClickOnList();
    ExpectOneBox(L"OrviInfo", InfoText(kClsid, kServer));
}

TEST_F(ControlInfo, InstalledVersionFollowsOnAThirdLineAfterABareLineFeed)
{
    Register(kProgId, kClsid, false);
    Record(kClsid, false, L"InstalledVersion", NULL, L"3,1,0,27");
    Fill({kProgId}, 0);
    RightClickOnList();
    ExpectOneBox(L"OrviInfo", InfoText(kClsid, kServer) + L"\nVERSION：3,1,0,27");
}

TEST_F(ControlInfo, UnreadableVersionLeavesTwoLines)
{
    Register(kProgId, kClsid, false);
    Fill({kProgId}, 0);

    // A record without the version key, a version key without a value, and a
    // version of 250 characters (more than 500 bytes with its terminator).
    MakeEmpty(HKEY_LOCAL_MACHINE, UnitKey(false, kClsid));
    RightClickOnList();
    ExpectOneBox(L"OrviInfo", InfoText(kClsid, kServer));

    MakeEmpty(HKEY_LOCAL_MACHINE, UnitKey(false, kClsid) + L"\\InstalledVersion");
    RightClickOnList();
    ExpectOneBox(L"OrviInfo", InfoText(kClsid, kServer));

    Record(kClsid, false, L"InstalledVersion", NULL, std::wstring(250, L'9'));
    RightClickOnList();
    ExpectOneBox(L"OrviInfo", InfoText(kClsid, kServer));
}

// Each failing step shows its error box, and no information box follows,
// although a version is recorded.
TEST_F(ControlInfo, EachFailingStepShowsItsErrorBoxAlone)
{
    Record(kClsid, false, L"InstalledVersion", NULL, L"1,0,0,1");
    Fill({kProgId}, 0);

    EachClsidFault(kProgId, [this] { RightClickOnList(); });

    // An empty CLSID text names no class key.
    Make(HKEY_CLASSES_ROOT, std::wstring(kProgId) + L"\\CLSID", L"");
    RightClickOnList();
    ExpectOneBox(L"ERROR", L"RegOpenKeyEx失败！");

    Make(HKEY_CLASSES_ROOT, std::wstring(kProgId) + L"\\CLSID", kClsid);
    RightClickOnList();
    ExpectOneBox(L"ERROR", L"RegOpenKeyEx失败！");

    Own(HKEY_CLASSES_ROOT, std::wstring(L"CLSID\\") + kClsid);
    MakeEmpty(HKEY_CLASSES_ROOT, ServerKey(false, kClsid));
    RightClickOnList();
    ExpectOneBox(L"ERROR", L"RegQueryValueEx失败！");

    // A server path of 250 characters is more than the value buffer takes.
    Make(HKEY_CLASSES_ROOT, ServerKey(false, kClsid), std::wstring(250, L'p'));
    RightClickOnList();
    ExpectOneBox(L"ERROR", L"RegQueryValueEx失败！");

    Make(HKEY_CLASSES_ROOT, ServerKey(false, kClsid), kServer);
    RightClickOnList();
    ExpectOneBox(L"OrviInfo", InfoText(kClsid, kServer) + L"\nVERSION：1,0,0,1");
}

TEST_F(ControlInfo, ThirtyTwoBitViewReadsTheWow6432NodeKeysWithKeyReadOnly)
{
    UseWow64Column(true);
    Register(kProgId, kClsid, true, L"C:\\windows\\syswow64\\OrviInfoTest.ocx");
    Record(kClsid, true, L"InstalledVersion", NULL, L"2,0,0,5");
    // Decoys in the 64-bit view that must not be read.
    Own(HKEY_CLASSES_ROOT, std::wstring(L"CLSID\\") + kClsid, KEY_WOW64_64KEY);
    Make(HKEY_CLASSES_ROOT, ServerKey(false, kClsid), L"C:\\native.ocx", KEY_WOW64_64KEY);
    Record(kClsid, false, L"InstalledVersion", NULL, L"9,9,9,9", KEY_WOW64_64KEY);
    Fill({kProgId}, 0);
    TakeKeyOpens();

    // The 64-bit view's server is the control's in that view: shown beside,
    // read last with that view's flag; its version is not read.
    RightClickOnList();
    ExpectOneBox(L"OrviInfo", InfoText(kClsid, L"C:\\windows\\syswow64\\OrviInfoTest.ocx") +
                                  L"\r\nPATH（64位）：C:\\native.ocx\nVERSION：2,0,0,5");
    std::vector<KeyOpenRecord> opens = TakeKeyOpens();
    ASSERT_EQ(4u, opens.size());
    EXPECT_EQ(HKEY_CLASSES_ROOT, opens[1].root);
    EXPECT_EQ(ServerKey(true, kClsid), opens[1].path);
    EXPECT_EQ(HKEY_LOCAL_MACHINE, opens[2].root);
    EXPECT_EQ(UnitKey(true, kClsid) + L"\\InstalledVersion", opens[2].path);
    for (int i = 0; i < 3; i++) {
        EXPECT_EQ(0u, opens[i].options);
        EXPECT_EQ((REGSAM)KEY_READ, opens[i].access)
            << std::string(opens[i].path.begin(), opens[i].path.end());
    }
    // A 32-bit process reaches the 64-bit view's class through the machine's
    // classes with that view's flag; for a 64-bit process it is its own.
    const bool flagged = ProcessIsWow64();
    EXPECT_EQ(flagged ? HKEY_LOCAL_MACHINE : HKEY_CLASSES_ROOT, opens[3].root);
    EXPECT_EQ((flagged ? L"Software\\Classes\\" : L"") + ServerKey(false, kClsid), opens[3].path);
    EXPECT_EQ((REGSAM)(KEY_READ | (flagged ? KEY_WOW64_64KEY : 0)), opens[3].access);
}

// A control whose class is registered in the other view only (a 64-bit
// control dropped on the 32-bit window, say) is shown with that view's server.
TEST_F(ControlInfo, ControlRegisteredOnlyInTheOtherViewShowsThatViewsServer)
{
    Fill({kProgId}, 0);

    // Only the 64-bit view has the class while the tool takes the 32-bit view.
    UseWow64Column(true);
    Make(HKEY_CLASSES_ROOT, std::wstring(kProgId) + L"\\CLSID", kClsid);
    Own(HKEY_CLASSES_ROOT, std::wstring(L"CLSID\\") + kClsid, KEY_WOW64_64KEY);
    Make(HKEY_CLASSES_ROOT, ServerKey(false, kClsid), kServer, KEY_WOW64_64KEY);
    RightClickOnList();
    ExpectOneBox(L"OrviInfo", L"CLSID：" + std::wstring(kClsid) + L"\r\nPATH（64位）：" + kServer);

    // In a 32-bit process both paths name the 32-bit view's key: the other
    // way round shows only in a 64-bit process.
    if (ProcessIsWow64())
        return;
    DeleteTree(HKEY_CLASSES_ROOT, std::wstring(L"CLSID\\") + kClsid);
    UseWow64Column(false);
    Register(kProgId, kClsid, true);
    RightClickOnList();
    ExpectOneBox(L"OrviInfo", L"CLSID：" + std::wstring(kClsid) + L"\r\nPATH（32位）：" + kServer);
}

TEST_F(ControlInfo, LongestReadableValuesShowInFull)
{
    // 249 characters is the longest text the 500-byte reads take; with a
    // CLSID text of that length the box text is 769 characters long.
    std::wstring clsid = L"{" + std::wstring(247, L'c') + L"}";
    std::wstring server = L"C:\\" + std::wstring(242, L's') + L".ocx";
    std::wstring version = std::wstring(249, L'7');
    ASSERT_EQ(249u, server.size());
    Register(kProgId, clsid, false, server);
    Record(clsid, false, L"InstalledVersion", NULL, version);
    Fill({kProgId}, 0);
    RightClickOnList();
    std::wstring expected = InfoText(clsid, server) + L"\nVERSION：" + version;
    EXPECT_EQ(769u, expected.size());
    ExpectOneBox(L"OrviInfo", expected);
}

TEST_F(ControlInfo, ValuesWithoutTerminatorOrOddSizedAreReadByTheirSize)
{
    std::wstring server = L"C:\\" + std::wstring(242, L'u') + L".ocx";
    Register(kProgId, kClsid, false);
    MakeRaw(HKEY_CLASSES_ROOT, ServerKey(false, kClsid), NULL, server,
            (DWORD)(server.size() * sizeof(wchar_t)));
    // A short unterminated version followed in memory by more text.
    std::wstring version = L"4,3,2,1XXXX";
    Own(HKEY_LOCAL_MACHINE, UnitKey(false, kClsid));
    MakeRaw(HKEY_LOCAL_MACHINE, UnitKey(false, kClsid) + L"\\InstalledVersion", NULL, version,
            7 * sizeof(wchar_t));
    Fill({kProgId}, 0);
    RightClickOnList();
    ExpectOneBox(L"OrviInfo", InfoText(kClsid, server) + L"\nVERSION：4,3,2,1");

    // Exactly 500 bytes without a terminator: 250 characters, too long.
    std::wstring longServer(250, L'v');
    MakeRaw(HKEY_CLASSES_ROOT, ServerKey(false, kClsid), NULL, longServer, 500);
    RightClickOnList();
    ExpectOneBox(L"ERROR", L"RegQueryValueEx失败！");

    // Half a character at the end: unreadable.
    MakeRaw(HKEY_CLASSES_ROOT, ServerKey(false, kClsid), NULL, L"C:\\odd控", 13);
    RightClickOnList();
    ExpectOneBox(L"ERROR", L"RegQueryValueEx失败！");
}

TEST_F(ControlInfo, ProgIdAtTheRegistryLimitIsLookedUp)
{
    std::wstring progId = L"ORVI." + std::wstring(250, L'L');
    Register(progId, kClsid, false);
    ASSERT_TRUE(KeyExists(HKEY_CLASSES_ROOT, progId + L"\\CLSID"));
    Fill({progId}, 0);
    RightClickOnList();
    ExpectOneBox(L"OrviInfo", InfoText(kClsid, kServer));

    // A name longer than any key can be refused without reading past it.
    ShowControlInfo(window, (L"ORVI." + std::wstring(2000, L'L')).c_str());
    ExpectOneBox(L"ERROR", L"RegOpenKeyEx失败！");
}

TEST_F(ControlInfo, KeyboardRequestsAndOtherWindowsAndMinusOneCoordinatesDoNothing)
{
    Register(kProgId, kClsid, false);
    Fill({kProgId}, 0);

    ContextMenu((WPARAM)g_controlList, (LPARAM)-1);
    ContextMenu((WPARAM)g_controlList, MAKELPARAM(0xFFFF, 200));
    ContextMenu((WPARAM)g_controlList, MAKELPARAM(200, 0xFFFF));
    ContextMenu((WPARAM)g_queryButton, MAKELPARAM(200, 200));
    ContextMenu((WPARAM)window, MAKELPARAM(200, 200));
    EXPECT_TRUE(TakeBoxes().empty());
    EXPECT_TRUE(TakeKeyOpens().empty());

    // Coordinates next to the ignored ones still count.
    ContextMenu((WPARAM)g_controlList, MAKELPARAM(0xFFFE, 0));
    ExpectOneBox(L"OrviInfo", InfoText(kClsid, kServer));
}

TEST_F(ControlInfo, RightClickShowsTheSelectedEntryWhateverIsUnderThePointer)
{
    Register(kProgId, kClsid, false);
    Register(kOtherProgId, kOtherClsid, false, L"C:\\other.ocx");
    Fill({kProgId, kOtherProgId}, 0);

    // A real right click over the second entry, as the mouse delivers it.
    RECT item;
    SendMessageW(g_controlList, LB_GETITEMRECT, 1, (LPARAM)&item);
    LPARAM at = MAKELPARAM(item.left + 10, item.top + 5);
    SendMessageW(g_controlList, WM_RBUTTONDOWN, MK_RBUTTON, at);
    SendMessageW(g_controlList, WM_RBUTTONUP, 0, at);
    PumpMessages(50);
    ExpectOneBox(L"OrviInfo", InfoText(kClsid, kServer));
    EXPECT_EQ(0, SendMessageW(g_controlList, LB_GETCURSEL, 0, 0));
    TakeKeyOpens();

    // With no entry selected nothing happens.
    SendMessageW(g_controlList, LB_SETCURSEL, (WPARAM)-1, 0);
    SendMessageW(g_controlList, WM_RBUTTONDOWN, MK_RBUTTON, at);
    SendMessageW(g_controlList, WM_RBUTTONUP, 0, at);
    RightClickOnList();
    PumpMessages(50);
    EXPECT_TRUE(TakeBoxes().empty());
    EXPECT_TRUE(TakeKeyOpens().empty());
}

} // namespace
