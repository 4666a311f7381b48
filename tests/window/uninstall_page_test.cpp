// The Uninstall page of the real main window: the query and what it lists,
// the double click and "uninstall all" with the real regsvr32.exe, the right
// click's control information and the download button, read from real keys
// in both registry views. Each build takes the view its process shows for
// real on the platform's answer, and the other view through the test double
// of support/wow64_column.cpp.
#include "support/record_support.h"
#include "window/support/window_support.h"

#include "app/app.h"
#include "controls/controls.h"
#include "records/records.h"
#include "register/register.h"

#include <gtest/gtest.h>

#include <shellapi.h>

#include <algorithm>

#include <stdio.h>

// ---- the query -----------------------------------------------------------------

static const wchar_t *const kNotListed[] = {
    L"ORVI",
    L"ORV",
    L"orvi.querylower",
    L"PDF.oQuery",
    L"TIF.OrviDocument",
    // A character written with two bytes in code page 936 among the first five.
    L"ORV中I.Query",
    L"ORVI中Query",
    L"中ORVI.",
    // Look-alike letters. Code page 936 writes the full-width letters and the
    // dotted capital I as characters of their own (or the default character),
    // but maps the eth and the accented capital Y to "D" and "Y" by best fit;
    // a Western code page best-fits all four.
    L"ＯＲＶＩ.FullWidth",
    L"ORVİ.DottedI",
    L"PÐF.OEth",
    L"VÝ.OfAccent",
};

// The keys the tool lists, in registry order (names compared without case).
static const std::vector<std::wstring> kListedInOrder = {
    L"ORVI.",           L"ORVI.QueryCaseA", L"Orvi.QueryCaseB", L"ORVI.QueryVer",
    L"ORVI.QueryVer.1", L"ORVI.中文名",     L"PDF.Oanything",   L"VY.OfQuery",
};

class QueryTest : public UninstallPageTest {
protected:
    void MakeNotListed(Caller = {})
    {
        for (const wchar_t *k : kNotListed)
            Make(HKEY_CLASSES_ROOT, k, L"query test");
    }
    void MakeAll(Caller = {})
    {
        // Made in the reverse of the order they are listed in.
        for (auto k = kListedInOrder.rbegin(); k != kListedInOrder.rend(); ++k)
            Make(HKEY_CLASSES_ROOT, *k, L"query test");
        MakeNotListed();
    }
};

TEST_F(QueryTest, AnsiCodePageIsChinese)
{
    // The two-byte cases below rely on it.
    ASSERT_EQ(GetACP(), 936u);
}

TEST_F(QueryTest, ListsFamilyNamesInRegistryOrder)
{
    ASSERT_EQ(GetACP(), 936u);
    MakeAll();
    int count = QueryInstalledControls();
    std::vector<std::wstring> entries = ListEntries();
    EXPECT_EQ(count, (int)entries.size());
    // Each listed once, in registry order; none of the names that do not count.
    EXPECT_EQ(kListedInOrder, entries);
}

TEST_F(QueryTest, SecondQueryGivesTheSameListWithoutDuplicates)
{
    MakeAll();
    SendMessageW(g_controlList, LB_ADDSTRING, 0, (LPARAM)L"stale entry");
    PressQuery();
    std::vector<std::wstring> first = ListEntries();
    PressQuery();
    std::vector<std::wstring> second = ListEntries();
    EXPECT_EQ(first, second);
    EXPECT_EQ(kListedInOrder, second);
    EXPECT_EQ(std::count(second.begin(), second.end(), std::wstring(L"stale entry")), 0);
    // A filled list is the answer: no message.
    EXPECT_TRUE(TakeBoxes().empty());
}

TEST_F(QueryTest, NothingInstalledSaysSoAndLeavesTheListEmpty)
{
    // Names close to the family that still do not count.
    MakeNotListed();
    SendMessageW(g_controlList, LB_ADDSTRING, 0, (LPARAM)L"stale entry");
    EXPECT_EQ(QueryInstalledControls(), 0);
    EXPECT_TRUE(ListEntries().empty());

    SendMessageW(g_controlList, LB_ADDSTRING, 0, (LPARAM)L"stale entry");
    PressQuery();
    EXPECT_TRUE(ListEntries().empty());
    EXPECT_BOX(window, L"提示", L"当前电脑没有安装控件！", kOkBox);
}

TEST_F(QueryTest, FamilyNamesOf255CharactersAreListedWhole)
{
    const std::wstring upper = L"ORVI." + std::wstring(250, L'U');
    const std::wstring mixed = L"Orvi." + std::wstring(250, L'm');
    // 255 characters, 505 bytes in code page 936.
    const std::wstring chinese = L"PDF.O" + std::wstring(250, L'中');
    const std::wstring other = L"ORVi." + std::wstring(250, L'x');
    for (const std::wstring &name : {upper, mixed, chinese, other})
        Make(HKEY_CLASSES_ROOT, name);
    EXPECT_EQ(3, QueryInstalledControls());
    EXPECT_EQ((std::vector<std::wstring>{mixed, upper, chinese}), ListEntries());
}

// ---- removals ------------------------------------------------------------------

static const HKEY kCR = HKEY_CLASSES_ROOT;

// The double click and "uninstall all" over controls the test owns.
class RemovalOnPage : public UninstallPageTest {
protected:
    // Query, select entry, answer Yes to the double click's question.
    void DoubleClickYes(const std::wstring &entry, Caller = {})
    {
        PressQuery();
        ASSERT_TRUE(::SelectEntry(entry));
        QueueBoxAnswer(IDYES);
        Command(g_controlList, LBN_DBLCLK);
        // The question alone: the removal reports nothing.
        EXPECT_EQ(1u, TakeBoxes().size());
    }
    // The test server's keys are gone, the window is there, and the list was
    // refilled with what is left.
    void ExpectServerKeysGone(const std::vector<std::wstring> &listed, Caller = {})
    {
        EXPECT_FALSE(KeyExists(kCR, kServerProgId));
        EXPECT_FALSE(KeyExists(kCR, kServerClassKey));
        EXPECT_FALSE(KeyExists(kCR, kServerTypeLibKey));
        EXPECT_EQ(listed, ListEntries());
        EXPECT_TRUE(IsWindow(window));
    }
};

TEST_F(RemovalOnPage, DoubleClickAsksAndNoOrNoSelectionRemovesNothing)
{
    Make(kCR, L"ORVI.DblKeep");
    Make(kCR, L".qvb");
    QueryInstalledControls();
    ASSERT_TRUE(::SelectEntry(L"ORVI.DblKeep"));
    QueueBoxAnswer(IDNO);
    Command(g_controlList, LBN_DBLCLK);
    EXPECT_TRUE(KeyExists(kCR, L"ORVI.DblKeep"));

    // No entry selected: still asked; Yes removes nothing and refills the list.
    SendMessageW(g_controlList, LB_SETCURSEL, (WPARAM)-1, 0);
    SendMessageW(g_controlList, LB_ADDSTRING, 0, (LPARAM)L"stale entry");
    QueueBoxAnswer(IDYES);
    Command(g_controlList, LBN_DBLCLK);
    EXPECT_TRUE(KeyExists(kCR, L"ORVI.DblKeep"));
    EXPECT_TRUE(KeyExists(kCR, L".qvb"));
    EXPECT_EQ((std::vector<std::wstring>{L"ORVI.DblKeep"}), ListEntries());

    EXPECT_BOXES({window, L"提示", L"   是否卸载？", kYesNoBox},
                 {window, L"提示", L"   是否卸载？", kYesNoBox});
}

// What the removal cannot name whole it refuses. A ProgID of 249 characters
// or more no longer fits a key path with "\CLSID"; an entry of 255 does not
// fit the 255-character reading buffers, and its cut form is a real key that
// must survive. Each stays, with its class, its server file and the
// extensions, and stays listed; an empty ProgID removes nothing either.
TEST_F(RemovalOnPage, ProgIdsTooLongForTheRemovalAreRefusedWholeAndStayListed)
{
    const std::wstring atLimit = L"ORVI." + std::wstring(250, L'r');
    const std::wstring cut = atLimit.substr(0, 254);
    const std::wstring longest = atLimit.substr(0, 248); // with "\CLSID" 254 characters
    const std::wstring tooLong = atLimit.substr(0, 249);
    const std::wstring serverAtLimit =
        Control(atLimit, L"{11111111-2222-4333-8444-555555555501}", L"a.ocx");
    const std::wstring serverCut =
        Control(cut, L"{11111111-2222-4333-8444-555555555502}", L"b.ocx");
    const std::wstring serverLongest =
        Control(longest, L"{11111111-2222-4333-8444-555555555503}", L"c.ocx");
    const std::wstring serverTooLong =
        Control(tooLong, L"{11111111-2222-4333-8444-555555555504}", L"d.ocx");
    Make(kCR, L".qvb");
    Make(kCR, L".qvm");

    EXPECT_EQ(UninstallControl(tooLong.c_str()), 1);
    EXPECT_EQ(UninstallControl(L""), 1);
    EXPECT_TRUE(KeyExists(kCR, tooLong + L"\\CLSID"));
    EXPECT_TRUE(KeyExists(kCR, L".qvb"));
    EXPECT_TRUE(KeyExists(kCR, L".qvm"));

    PressQuery();
    ASSERT_EQ(4u, ListEntries().size());
    ASSERT_TRUE(::SelectEntry(atLimit));
    QueueBoxAnswer(IDYES);
    Command(g_controlList, LBN_DBLCLK);
    EXPECT_TRUE(KeyExists(kCR, atLimit + L"\\CLSID"));
    EXPECT_TRUE(KeyExists(kCR, cut + L"\\CLSID"));
    EXPECT_TRUE(FileExists(serverAtLimit));
    EXPECT_TRUE(FileExists(serverCut));
    EXPECT_TRUE(KeyExists(kCR, L".qvb"));
    EXPECT_EQ(4u, ListEntries().size());

    // The 255-character entry alone: "uninstall all" removes nothing either.
    Fill({atLimit}, -1);
    QueueBoxAnswer(IDYES);
    Command(g_uninstallAllButton, BN_CLICKED);
    EXPECT_TRUE(KeyExists(kCR, atLimit + L"\\CLSID"));
    EXPECT_TRUE(KeyExists(kCR, cut + L"\\CLSID"));
    EXPECT_TRUE(KeyExists(kCR, L".qvb"));
    EXPECT_EQ(2u, TakeBoxes().size());

    PressQuery();
    QueueBoxAnswer(IDYES);
    Command(g_uninstallAllButton, BN_CLICKED);
    EXPECT_EQ(1u, TakeBoxes().size());
    // Only the one whose paths fit is gone, with its class key, its file and
    // the extensions.
    EXPECT_FALSE(KeyExists(kCR, longest));
    EXPECT_FALSE(KeyExists(kCR, L"CLSID\\{11111111-2222-4333-8444-555555555503}"));
    EXPECT_FALSE(FileExists(serverLongest));
    EXPECT_FALSE(KeyExists(kCR, L".qvb"));
    for (const std::wstring &kept : {atLimit, cut, tooLong})
        EXPECT_TRUE(KeyExists(kCR, kept + L"\\CLSID")) << kept.size();
    for (const std::wstring &file : {serverAtLimit, serverCut, serverTooLong})
        EXPECT_TRUE(FileExists(file));
    EXPECT_TRUE(KeyExists(kCR, L"CLSID\\{11111111-2222-4333-8444-555555555501}"));
    EXPECT_TRUE(KeyExists(kCR, L"CLSID\\{11111111-2222-4333-8444-555555555504}"));
    EXPECT_EQ((std::vector<std::wstring>{tooLong, cut, atLimit}), ListEntries());
}

TEST_F(RemovalOnPage, DoubleClickRemovesARegisteredControlEndToEnd)
{
    const std::wstring server = CopyTestServer(L"ORVI Test.ocx");
    LogServer();
    ASSERT_EQ(RegisterControlFile(server.c_str()), 1);
    ASSERT_TRUE(KeyExists(kCR, L"ORVI.TestCtl"));
    ASSERT_EQ(ReadStringValue(kCR, kServerClassKey + L"\\InprocServer32"), server);

    PressQuery();
    ASSERT_TRUE(::SelectEntry(L"ORVI.TestCtl"));
    QueueBoxAnswer(IDYES);
    Command(g_controlList, LBN_DBLCLK);

    EXPECT_FALSE(KeyExists(kCR, L"ORVI.TestCtl"));
    EXPECT_FALSE(KeyExists(kCR, kServerClassKey));
    EXPECT_FALSE(KeyExists(kCR, kServerTypeLibKey));
    EXPECT_FALSE(KeyExists(kCR, kServerInterfaceKey));
    EXPECT_FALSE(FileExists(server));
    std::vector<std::wstring> lines = ReadServerLog(log);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), L"unregister " + server);
    EXPECT_TRUE(ListEntries().empty());
    // The question only: the removal itself reports nothing.
    EXPECT_EQ(TakeBoxes().size(), 1u);
}

static WNDPROC g_listProc;
static int g_countRequests;

static LRESULT CALLBACK CountingListProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == LB_GETCOUNT)
        g_countRequests++;
    return CallWindowProcW(g_listProc, window, message, wParam, lParam);
}

TEST_F(RemovalOnPage, UninstallAllOnAnEmptyListOnlyAsksForAQuery)
{
    Make(kCR, L"ORVI.AllKeep");
    Make(kCR, L".qvb");
    Command(g_uninstallAllButton, BN_CLICKED);
    EXPECT_BOX(window, L"提示", L"请点击查询安装按钮！", kOkBox);
    EXPECT_TRUE(KeyExists(kCR, L"ORVI.AllKeep"));
    EXPECT_TRUE(KeyExists(kCR, L".qvb"));
    EXPECT_TRUE(ListEntries().empty());
}

static const wchar_t kUninstallAllQuestion[] =
    L"是否卸载列表中的全部控件？\r\n如果点击是,请稍等几秒钟,直到列表为空就表示卸载全部操作完成。";

TEST_F(RemovalOnPage, UninstallAllAnsweredNoChangesNothing)
{
    Make(kCR, L"ORVI.AllA");
    Make(kCR, L"ORVI.AllB");
    Make(kCR, L".qvb");
    QueryInstalledControls();
    std::vector<std::wstring> before = ListEntries();
    QueueBoxAnswer(IDNO);
    Command(g_uninstallAllButton, BN_CLICKED);
    std::vector<BoxRecord> boxes = TakeBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, kUninstallAllQuestion);
    EXPECT_EQ(boxes[0].caption, L"提示");
    EXPECT_EQ(boxes[0].owner, window);
    EXPECT_TRUE(boxes[0].hasYes && boxes[0].hasNo);
    EXPECT_TRUE(KeyExists(kCR, L"ORVI.AllA"));
    EXPECT_TRUE(KeyExists(kCR, L"ORVI.AllB"));
    EXPECT_TRUE(KeyExists(kCR, L".qvb"));
    EXPECT_EQ(ListEntries(), before);
}

TEST_F(RemovalOnPage, UninstallAllRemovesInListOrderAndRefillsOnce)
{
    // The servers' names run against the list order, so the log shows which
    // order the removals took.
    const std::wstring first = CopyTestServer(L"z.ocx");
    const std::wstring second = CopyTestServer(L"a.ocx");
    LogServer();
    const wchar_t *clsidA = L"{0A0A0A0A-0000-4000-8000-00000000000A}";
    const wchar_t *clsidB = L"{0B0B0B0B-0000-4000-8000-00000000000B}";
    Make(kCR, L"ORVI.AllA\\CLSID", clsidA);
    Make(kCR, std::wstring(L"CLSID\\") + clsidA + L"\\InprocServer32", first);
    Make(kCR, L"ORVI.AllB\\CLSID", clsidB);
    Make(kCR, std::wstring(L"CLSID\\") + clsidB + L"\\InprocServer32", second);
    QueryInstalledControls();
    ASSERT_EQ((std::vector<std::wstring>{L"ORVI.AllA", L"ORVI.AllB"}), ListEntries());

    g_listProc =
        (WNDPROC)SetWindowLongPtrW(g_controlList, GWLP_WNDPROC, (LONG_PTR)CountingListProc);
    g_countRequests = 0;
    QueueBoxAnswer(IDYES);
    Command(g_uninstallAllButton, BN_CLICKED);
    SetWindowLongPtrW(g_controlList, GWLP_WNDPROC, (LONG_PTR)g_listProc);

    EXPECT_FALSE(KeyExists(kCR, L"ORVI.AllA"));
    EXPECT_FALSE(KeyExists(kCR, L"ORVI.AllB"));
    EXPECT_FALSE(FileExists(first));
    EXPECT_FALSE(FileExists(second));
    std::vector<std::wstring> lines = ReadServerLog(log);
    std::vector<std::wstring> expected = {L"unregister " + first, L"unregister " + second};
    EXPECT_EQ(lines, expected);
    EXPECT_TRUE(ListEntries().empty());
    // One count for the action itself, one for the single refill.
    EXPECT_EQ(g_countRequests, 2);
    std::vector<BoxRecord> boxes = TakeBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, kUninstallAllQuestion);
}

// ---- faults met on the way --------------------------------------------------------------
//
// A server file that is read-only or held open by another process, a key in
// the middle of a tree that cannot be deleted: the removal goes on past each
// of them, reports nothing, and the list is refreshed.
//
// A registrar that never ends is not among them on purpose: every run of
// regsvr32.exe is waited for without a time limit, so such a run keeps the
// window blocked for good (see README, "Faults and limits"). What is tested
// (registrar_test.cpp) is that every run that ends is waited for and
// its process handle closed.

// A control of the other bitness (a 64-bit control dropped on the shipped
// 32-bit window, say) is removed whole by a double click: its class, its
// file, by its own view's registrar; and its record brings it back whole.
TEST_F(RemovalOnPage, DoubleClickRemovesAControlOfTheOtherViewWhole)
{
    const std::wstring built = OtherBuildTestServerPath();
    if (!FileExists(built))
        GTEST_SKIP() << "the other build's test server is not built";
    LogServer();
    const std::wstring server = dir + L"\\other bits.ocx";
    ASSERT_TRUE(CopyFileW(built.c_str(), server.c_str(), FALSE));
    if (!RegisterControlFile(server.c_str()) && !ProcessIsWow64())
        GTEST_SKIP() << "the 32-bit registrar does not run on this machine";
    const REGSAM other = OtherViewFlag();
    ASSERT_TRUE(KeyExists(kCR, kServerClassKey + L"\\InprocServer32", other));
    const std::wstring before = KeyTreeText(kCR, kServerClassKey, other);
    DeleteFileW(log.c_str());

    DoubleClickYes(kServerProgId);
    EXPECT_FALSE(KeyExists(kCR, kServerProgId));
    EXPECT_FALSE(KeyExists(kCR, kServerClassKey, other));
    EXPECT_FALSE(FileExists(server));
    EXPECT_EQ((std::vector<std::wstring>{L"unregister " + server}), ReadServerLog(log));

    static RestoreResult restored;
    ASSERT_EQ(kRestored, RestoreRemoval(kServerProgId, 0, &restored));
    EXPECT_EQ(before, KeyTreeText(kCR, kServerClassKey, other));
    EXPECT_TRUE(FileExists(server));
    UninstallControl(kServerProgId);
}

TEST_F(RemovalOnPage, ReadOnlyServerFileStaysWhileItsKeysGo)
{
    LogServer();
    std::wstring server = RegisterServer(L"read only.ocx");
    Make(kCR, L"ORVI.Neighbour", L"stays listed");
    ASSERT_TRUE(SetFileAttributesW(server.c_str(), FILE_ATTRIBUTE_READONLY));
    DoubleClickYes(kServerProgId);
    ExpectServerKeysGone({L"ORVI.Neighbour"});
    EXPECT_TRUE(FileExists(server));
    EXPECT_EQ((std::vector<std::wstring>{L"unregister " + server}), ReadServerLog(log));
    // The file it keeps leaves the removal no less done: its record is
    // closed, and the removal can be turned back.
    EXPECT_EQ(L"1", StateValue(NewestRecord(), L"file"));
    RestoreResult result;
    EXPECT_EQ(kRestored, RestoreRemoval(kServerProgId, 0, &result));
    EXPECT_TRUE(KeyExists(kCR, kServerClassKey));
    SetFileAttributesW(server.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(RemovalOnPage, ServerFileHeldOpenByAnotherProcessStays)
{
    LogServer();
    // Held without sharing: the registrar cannot load it either.
    std::wstring server = RegisterServer(L"held.ocx");
    std::string bytes = ReadFileBytes(server);
    holder = HoldFileInChild(server, 0);
    ASSERT_TRUE(holder != NULL);
    DoubleClickYes(kServerProgId);
    ExpectServerKeysGone({});
    EXPECT_TRUE(FileExists(server));
    EXPECT_TRUE(ReadServerLog(log).empty());
    // The file step is not marked done: the record says what is left.
    EXPECT_EQ(L"0", StateValue(NewestRecord(), L"file"));
    // The interface key matches no type-library pass; only the server's own
    // unregistration, which could not run, would have removed it.
    EXPECT_TRUE(KeyExists(kCR, kServerInterfaceKey));
    DeleteTree(kCR, kServerInterfaceKey);

    // Held the way a process that loaded it holds it: unregistered, not deleted.
    ReleaseHeldFile(holder);
    holder = NULL;
    EXPECT_EQ(bytes, ReadFileBytes(server));
    server = RegisterServer(L"loaded.ocx");
    holder = HoldFileInChild(server, FILE_SHARE_READ);
    ASSERT_TRUE(holder != NULL);
    DoubleClickYes(kServerProgId);
    ExpectServerKeysGone({});
    EXPECT_TRUE(FileExists(server));
    EXPECT_EQ((std::vector<std::wstring>{L"unregister " + server}), ReadServerLog(log));
}

// Wine refuses to open a key whose DACL denies reading, so such a key with a
// subkey cannot be emptied and cannot be deleted. Met in the class key and in
// the ProgID key, it stops the deletion of that tree only.
TEST_F(RemovalOnPage, KeyThatCannotBeDeletedDoesNotStopTheRestOfTheRemoval)
{
    LogServer();
    std::wstring server = RegisterServer(L"protected.ocx");
    const std::wstring classStuck = std::wstring(kServerClassKey) + L"\\Stuck";
    const std::wstring progIdStuck = std::wstring(kServerProgId) + L"\\Stuck";
    Make(kCR, classStuck + L"\\Inner", L"fault test");
    Make(kCR, classStuck + L"Later", L"fault test");
    Make(kCR, progIdStuck + L"\\Inner", L"fault test");
    Make(kCR, L"ORVI.Other\\CLSID", L"{0D1C2B3A-0000-4a6b-8C7D-000000000000}");
    for (const std::wstring &path : {classStuck, progIdStuck}) {
        Protect(kCR, path, KEY_READ);
        HKEY probe;
        ASSERT_NE(ERROR_SUCCESS, RegOpenKeyExW(kCR, path.c_str(), 0, KEY_READ, &probe));
    }
    // The server's own unregistration is pointed at names of no key, so only
    // the tool's deletions decide what is left.
    SetEnv(L"ORVI_TEST_PROGID", L"ORVI.FaultNone");
    SetEnv(L"ORVI_TEST_CLSID", L"{0D1C2B3A-FFFF-4a6b-8C7D-000000000001}");
    SetEnv(L"ORVI_TEST_TYPELIB", L"{0D1C2B3A-FFFF-4a6b-8C7D-000000000002}");
    SetEnv(L"ORVI_TEST_IID", L"{0D1C2B3A-FFFF-4a6b-8C7D-000000000003}");

    DoubleClickYes(kServerProgId);

    // The trees with the stuck keys: what came before them is gone, they and
    // what follows them stay.
    EXPECT_TRUE(KeyExists(kCR, kServerProgId));
    EXPECT_FALSE(KeyExists(kCR, std::wstring(kServerProgId) + L"\\CLSID"));
    EXPECT_TRUE(KeyExists(kCR, kServerClassKey));
    EXPECT_FALSE(KeyExists(kCR, std::wstring(kServerClassKey) + L"\\InprocServer32"));
    EXPECT_TRUE(KeyExists(kCR, classStuck + L"Later"));
    // Everything after them went on: the other keys, the registrar, the file.
    EXPECT_FALSE(KeyExists(kCR, kServerTypeLibKey));
    EXPECT_EQ((std::vector<std::wstring>{L"unregister " + server}), ReadServerLog(log));
    EXPECT_FALSE(FileExists(server));
    EXPECT_TRUE(KeyExists(kCR, L"ORVI.Other\\CLSID"));
    // The refreshed list still shows what is left, so the removal can be repeated.
    EXPECT_EQ((std::vector<std::wstring>{L"ORVI.Other", kServerProgId}), ListEntries());

    for (const KeyName &k : protectedKeys)
        OpenUp(k.first, k.second);
    protectedKeys.clear();
    DoubleClickYes(kServerProgId);
    EXPECT_FALSE(KeyExists(kCR, kServerProgId));
    // Without a CLSID left under the ProgID the class key is not named again.
    EXPECT_TRUE(KeyExists(kCR, classStuck + L"\\Inner"));
    EXPECT_EQ((std::vector<std::wstring>{L"ORVI.Other"}), ListEntries());
}

// ---- load ------------------------------------------------------------------------------

static std::wstring LoadProgId(int i)
{
    wchar_t name[32];
    swprintf(name, 32, L"ORVI.Load%04d", i);
    return name;
}

// The class, type library and interface of control i differ in their first
// group only, as a control's own GUIDs often do; the last group tells the
// controls apart, so each pass matches the control's own keys alone.
static std::wstring LoadGuid(const wchar_t *firstGroup, int i)
{
    wchar_t guid[40];
    swprintf(guid, 40, L"{%ls-1111-4222-8333-0000000%05d}", firstGroup, i);
    return guid;
}

// 2,000 family controls (200 reduced) listed and uninstalled in one go.
TEST_F(RemovalOnPage, TwoThousandControlsAreListedAndAllUninstalled)
{
    const int controls = LoadSize(2000);
    std::vector<std::wstring> progIds;
    std::vector<std::wstring> keys;
    for (int i = 0; i < controls; i++) {
        const std::wstring clsid = LoadGuid(L"7D0AD000", i);
        const std::wstring typeLib = LoadGuid(L"7E0AD000", i);
        const std::wstring interfaceKey = L"Interface\\" + LoadGuid(L"7F0AD000", i);
        progIds.push_back(LoadProgId(i));
        Make(kCR, progIds.back() + L"\\CLSID", clsid);
        Own(kCR, L"CLSID\\" + clsid);
        Make(kCR, L"CLSID\\" + clsid + L"\\TypeLib", typeLib);
        Own(kCR, L"TypeLib\\" + typeLib);
        Make(kCR, L"TypeLib\\" + typeLib + L"\\1.0", L"load test library");
        Own(kCR, interfaceKey);
        Make(kCR, interfaceKey + L"\\TypeLib", typeLib);
        for (const std::wstring &key :
             {progIds.back(), L"CLSID\\" + clsid, L"TypeLib\\" + typeLib, interfaceKey})
            keys.push_back(key);
    }

    PressQuery();
    // Made in the order of their names, which is the registry's.
    EXPECT_EQ(progIds, ListEntries());
    EXPECT_TRUE(TakeBoxes().empty());

    // Every removal waits for a run of regsvr32.exe and walks the Interface
    // key three times: this is the slowest test of the suite (minutes).
    QueueBoxAnswer(IDYES);
    Command(g_uninstallAllButton, BN_CLICKED);
    EXPECT_EQ(1u, TakeBoxes().size());
    EXPECT_TRUE(ListEntries().empty());
    int stray = 0;
    for (const std::wstring &key : keys) {
        if (KeyExists(kCR, key) && stray++ < 5)
            ADD_FAILURE() << "left behind: " << std::string(key.begin(), key.end());
    }
    EXPECT_EQ(0, stray);
}

// ---- control information ---------------------------------------------------------

namespace info {

const wchar_t kProgId[] = L"ORVI.InfoTest";
const wchar_t kOtherProgId[] = L"ORVI.InfoOther";
const wchar_t kClsid[] = L"{6F1D2A3B-1111-4C2D-9E0F-A1B2C3D4E5F6}";
const wchar_t kOtherClsid[] = L"{6F1D2A3B-2222-4C2D-9E0F-A1B2C3D4E5F6}";
const wchar_t kServer[] = L"C:\\windows\\system32\\OrviInfoTest.ocx";

std::wstring ServerKey(bool wow, const std::wstring &clsid)
{
    return (wow ? L"Wow6432Node\\CLSID\\" : L"CLSID\\") + clsid + L"\\InprocServer32";
}

// The line after the box's others: whether the browser will load the
// control. The planted servers name no file.
const wchar_t kGone[] = L"服务器文件不存在，请重新注册这个控件";

class ControlInfo : public UninstallPageTest {
protected:
    ControlInfo() : UninstallPageTest(true)
    {
    }

    void ContextMenu(WPARAM clicked, LPARAM position)
    {
        SendMessageW(window, WM_CONTEXTMENU, clicked, position);
    }

    void RightClickOnList()
    {
        ContextMenu((WPARAM)g_controlList, MAKELPARAM(300, 400));
    }

    void ExpectInfoBox(const std::wstring &text, const std::wstring &status = kGone, Caller = {})
    {
        ExpectOneBox(L"OrviInfo", text + L"\r\n状态：" + status);
    }
};

std::wstring InfoText(const std::wstring &clsid, const std::wstring &server)
{
    return L"CLSID：" + clsid + L"\r\nPATH：" + server;
}

TEST_F(ControlInfo, ShowsClsidAndPathOnTwoLinesWithoutDownloadRecord)
{
    PlantControl(kProgId, kClsid, kServer);
    Fill({kOtherProgId, kProgId}, 1);
    RightClickOnList();
    ExpectInfoBox(InfoText(kClsid, kServer));

    // A server the browser loads, then the same disabled in the add-on manager.
    std::wstring ready = CopyTestServer(L"ready.ocx");
    PlantControl(kProgId, kClsid, ready);
    RightClickOnList();
    ExpectInfoBox(InfoText(kClsid, ready), L"可以使用");
    const std::wstring addOn =
        std::wstring(L"Software\\Microsoft\\Windows\\CurrentVersion\\Ext\\Settings\\") + kClsid;
    MakeDword(HKEY_CURRENT_USER, addOn, L"Flags", 1);
    RightClickOnList();
    ExpectInfoBox(InfoText(kClsid, ready),
                  L"这个控件已在浏览器的“管理加载项”中被禁用，请在 Internet 选项 → 程序 → "
                  L"管理加载项 中启用它");
}

TEST_F(ControlInfo, InstalledVersionFollowsOnAThirdLineAfterABareLineFeed)
{
    PlantControl(kProgId, kClsid, kServer);
    Record(kClsid, false, L"InstalledVersion", NULL, L"3,1,0,27");
    Fill({kProgId}, 0);
    RightClickOnList();
    ExpectInfoBox(InfoText(kClsid, kServer) + L"\nVERSION：3,1,0,27");
}

TEST_F(ControlInfo, UnreadableVersionLeavesTwoLines)
{
    PlantControl(kProgId, kClsid, kServer);
    Fill({kProgId}, 0);

    // A record without the version key, a version key without a value, and a
    // version of 250 characters (more than 500 bytes with its terminator).
    MakeEmpty(HKEY_LOCAL_MACHINE, UnitKey(false, kClsid));
    RightClickOnList();
    ExpectInfoBox(InfoText(kClsid, kServer));

    MakeEmpty(HKEY_LOCAL_MACHINE, UnitKey(false, kClsid) + L"\\InstalledVersion");
    RightClickOnList();
    ExpectInfoBox(InfoText(kClsid, kServer));

    Record(kClsid, false, L"InstalledVersion", NULL, std::wstring(250, L'9'));
    RightClickOnList();
    ExpectInfoBox(InfoText(kClsid, kServer));
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
    ExpectInfoBox(InfoText(kClsid, kServer) + L"\nVERSION：1,0,0,1");
}

TEST_F(ControlInfo, ThirtyTwoBitViewReadsTheWow6432NodeKeysWithKeyReadOnly)
{
    UseWow64Column(true);
    PlantControl(kProgId, kClsid, L"C:\\windows\\syswow64\\OrviInfoTest.ocx", true);
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
    ExpectInfoBox(InfoText(kClsid, L"C:\\windows\\syswow64\\OrviInfoTest.ocx") +
                  L"\r\nPATH（64位）：C:\\native.ocx\nVERSION：2,0,0,5");
    std::vector<KeyOpenRecord> opens = TakeKeyOpens();
    // The box's own four reads, then those of its status line, all read only.
    ASSERT_LT(4u, opens.size());
    for (size_t i = 4; i < opens.size(); i++)
        EXPECT_EQ(0u, opens[i].access & ~(REGSAM)(KEY_READ | KEY_WOW64_64KEY | KEY_WOW64_32KEY));
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
    ExpectInfoBox(L"CLSID：" + std::wstring(kClsid) + L"\r\nPATH（64位）：" + kServer);

    // In a 32-bit process both paths name the 32-bit view's key: the other
    // way round shows only in a 64-bit process.
    if (ProcessIsWow64())
        return;
    DeleteTree(HKEY_CLASSES_ROOT, std::wstring(L"CLSID\\") + kClsid);
    UseWow64Column(false);
    PlantControl(kProgId, kClsid, kServer, true);
    RightClickOnList();
    ExpectInfoBox(L"CLSID：" + std::wstring(kClsid) + L"\r\nPATH（32位）：" + kServer);
}

TEST_F(ControlInfo, LongestReadableValuesShowInFull)
{
    // 249 characters is the longest text the 500-byte reads take; with a
    // CLSID text of that length the box text is 769 characters long.
    std::wstring clsid = L"{" + std::wstring(247, L'c') + L"}";
    std::wstring server = L"C:\\" + std::wstring(242, L's') + L".ocx";
    std::wstring version = std::wstring(249, L'7');
    ASSERT_EQ(249u, server.size());
    PlantControl(kProgId, clsid, server);
    Record(clsid, false, L"InstalledVersion", NULL, version);
    Fill({kProgId}, 0);
    RightClickOnList();
    std::wstring expected = InfoText(clsid, server) + L"\nVERSION：" + version;
    EXPECT_EQ(769u, expected.size());
    ExpectInfoBox(expected);
}

TEST_F(ControlInfo, ValuesWithoutTerminatorOrOddSizedAreReadByTheirSize)
{
    std::wstring server = L"C:\\" + std::wstring(242, L'u') + L".ocx";
    PlantControl(kProgId, kClsid, kServer);
    MakeRaw(HKEY_CLASSES_ROOT, ServerKey(false, kClsid), NULL, server,
            (DWORD)(server.size() * sizeof(wchar_t)));
    // A short unterminated version followed in memory by more text.
    std::wstring version = L"4,3,2,1XXXX";
    Own(HKEY_LOCAL_MACHINE, UnitKey(false, kClsid));
    MakeRaw(HKEY_LOCAL_MACHINE, UnitKey(false, kClsid) + L"\\InstalledVersion", NULL, version,
            7 * sizeof(wchar_t));
    Fill({kProgId}, 0);
    RightClickOnList();
    ExpectInfoBox(InfoText(kClsid, server) + L"\nVERSION：4,3,2,1");

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
    PlantControl(progId, kClsid, kServer);
    ASSERT_TRUE(KeyExists(HKEY_CLASSES_ROOT, progId + L"\\CLSID"));
    Fill({progId}, 0);
    RightClickOnList();
    ExpectInfoBox(InfoText(kClsid, kServer));

    // A name longer than any key can be refused without reading past it.
    ShowControlInfo(window, (L"ORVI." + std::wstring(2000, L'L')).c_str());
    ExpectOneBox(L"ERROR", L"RegOpenKeyEx失败！");
}

TEST_F(ControlInfo, KeyboardRequestsAndOtherWindowsAndMinusOneCoordinatesDoNothing)
{
    PlantControl(kProgId, kClsid, kServer);
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
    ExpectInfoBox(InfoText(kClsid, kServer));
}

TEST_F(ControlInfo, RightClickShowsTheSelectedEntryWhateverIsUnderThePointer)
{
    PlantControl(kProgId, kClsid, kServer);
    PlantControl(kOtherProgId, kOtherClsid, L"C:\\other.ocx");
    Fill({kProgId, kOtherProgId}, 0);

    // A real right click over the second entry, as the mouse delivers it.
    RECT item;
    SendMessageW(g_controlList, LB_GETITEMRECT, 1, (LPARAM)&item);
    LPARAM at = MAKELPARAM(item.left + 10, item.top + 5);
    SendMessageW(g_controlList, WM_RBUTTONDOWN, MK_RBUTTON, at);
    SendMessageW(g_controlList, WM_RBUTTONUP, 0, at);
    PumpMessages(50);
    ExpectInfoBox(InfoText(kClsid, kServer));
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

} // namespace info

// ---- download location -----------------------------------------------------------

// The open command of the tests' own URL scheme starts this very program as
// `uninstall_page_test.exe --record-url <file> <address>`. It then only writes the
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

namespace download {

const wchar_t kProgId[] = L"ORVI.DownloadTest";
const wchar_t kClsid[] = L"{7A2E3B4C-3333-4D5E-8F90-B1C2D3E4F5A6}";
const wchar_t kScheme[] = L"orvitest";

std::wstring FromBytes(const std::string &bytes)
{
    return std::wstring((const wchar_t *)bytes.data(), bytes.size() / sizeof(wchar_t));
}

class Download : public UninstallPageTest {
protected:
    Download() : UninstallPageTest(true)
    {
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
             L"\"" + std::wstring(self) + L"\" --record-url \"" + InDir(L"address.bin") +
                 L"\" \"%1\"");
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
        for (int i = 0; i < 200 && !FileExists(InDir(L"address.bin")); i++)
            PumpMessages(100);
        return FromBytes(ReadFileBytes(InDir(L"address.bin")));
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

} // namespace download
