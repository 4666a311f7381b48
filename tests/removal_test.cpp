// Control removal: the generic rule and the fixed key lists in both columns,
// the passes, tree deletion, default values, the two removal actions on the
// real main window with the real regsvr32.exe, and the records that turn a
// removal back.
#include "support/record_support.h"
#include "support/test_support.h"

#include "app/app.h"
#include "controls/controls.h"
#include "records/records.h"
#include "register/register.h"
#include "controls/actions.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <utility>

#include <stdio.h>

// Both columns of the removal are followed in each build: the one the process
// shows for real (zero for x86_64, nonzero for i686 on 64-bit Windows) on
// the platform's answer, the other through the test double of
// support/wow64_column.cpp.

static const HKEY kCR = HKEY_CLASSES_ROOT;
static const HKEY kLM = HKEY_LOCAL_MACHINE;
// The test server's own keys, as its registration writes them.
static const wchar_t *const kServerProgId = kTestServerProgId;
static const std::wstring kServerClassKey = std::wstring(L"CLSID\\") + kTestServerClsid;
static const std::wstring kServerTypeLibKey = std::wstring(L"TypeLib\\") + kTestServerTypeLib;
static const std::wstring kServerInterfaceKey = std::wstring(L"Interface\\") + kTestServerIid;

// In a 64-bit process "CLSID\..." and "Wow6432Node\CLSID\..." below
// HKEY_CLASSES_ROOT are two keys, one per view. In a 32-bit process on 64-bit
// Windows both paths name the one key of the 32-bit view, as the tool's own
// paths do: there a twin kept in one column is the very key deleted, and the
// tests do not look for it.
static bool TwinsAreDistinct()
{
    return !ProcessIsWow64();
}

typedef std::pair<HKEY, std::wstring> KeyName;

// Each key with its values and subkeys as text ("" for a key not there).
static std::vector<std::wstring> TreeTexts(const std::vector<KeyName> &keys)
{
    std::vector<std::wstring> texts;
    for (const KeyName &k : keys)
        texts.push_back(KeyTreeText(k.first, k.second));
    return texts;
}

static std::wstring Repeat(wchar_t c, size_t n)
{
    return std::wstring(n, c);
}

// The walk of a pass sees b right after a.
static bool AreNeighbours(HKEY root, const std::wstring &path, const std::wstring &a,
                          const std::wstring &b)
{
    std::vector<std::wstring> names = SubkeyNames(root, path);
    for (size_t i = 0; i + 1 < names.size(); i++) {
        if (names[i] == a)
            return names[i + 1] == b;
    }
    return false;
}

// Every key a test makes is owned and removed afterwards; links go first,
// before the page's own clean-up, as any other deletion would follow them.
class RemovalTest : public UninstallPageTest {
protected:
    void SetUp() override
    {
        hadMachineWow6432Node = KeyExists(kLM, L"Wow6432Node");
        scratch = MakeScratchDir(L"removal");
        UninstallPageTest::SetUp();
    }
    void TearDown() override
    {
        ReleaseHeldFile(holder);
        for (const wchar_t *name : {L"ORVI_TEST_LOG", L"ORVI_TEST_PROGID", L"ORVI_TEST_CLSID",
                                    L"ORVI_TEST_TYPELIB", L"ORVI_TEST_IID"})
            SetEnv(name, NULL);
        for (const KeyName &k : links)
            DeleteLinkKey(k.first, k.second);
        for (const KeyName &k : protectedKeys)
            OpenUp(k.first, k.second);
        UninstallPageTest::TearDown();
        if (!hadMachineWow6432Node)
            DeleteTree(kLM, L"Wow6432Node");
    }
    static void OpenUp(HKEY root, const std::wstring &path, Caller = {})
    {
        HKEY key;
        if (RegOpenKeyExW(root, path.c_str(), 0, WRITE_DAC, &key) != ERROR_SUCCESS)
            return;
        RegCloseKey(key);
        SetKeyDacl(root, path, 0);
    }
    // A registry link at path to target (a path below HKEY_LOCAL_MACHINE).
    void MakeLink(HKEY root, const std::wstring &path, const std::wstring &target, Caller = {})
    {
        links.push_back(KeyName(root, path));
        HKEY key;
        ASSERT_EQ(RegCreateKeyExW(root, path.c_str(), 0, NULL, REG_OPTION_CREATE_LINK,
                                  KEY_ALL_ACCESS, NULL, &key, NULL),
                  ERROR_SUCCESS);
        // A 32-bit process's HKLM\Software is the 32-bit view, and a link
        // names the raw path, so it must name Wow6432Node itself.
        std::wstring name = L"\\REGISTRY\\MACHINE\\" + target;
        if (ProcessIsWow64() && target.rfind(L"Software\\", 0) == 0)
            name = L"\\REGISTRY\\MACHINE\\Software\\Wow6432Node\\" + target.substr(9);
        LSTATUS set =
            RegSetValueExW(key, L"SymbolicLinkValue", 0, REG_LINK, (const BYTE *)name.c_str(),
                           (DWORD)(name.size() * sizeof(wchar_t)));
        RegCloseKey(key);
        ASSERT_EQ(set, ERROR_SUCCESS);
    }
    // The link key itself, never its target.
    static void DeleteLinkKey(HKEY root, const std::wstring &path)
    {
        typedef LONG(WINAPI * NtDeleteKeyFn)(HANDLE);
        NtDeleteKeyFn deleteKey =
            (NtDeleteKeyFn)(void *)GetProcAddress(GetModuleHandleW(L"ntdll"), "NtDeleteKey");
        HKEY key;
        if (RegOpenKeyExW(root, path.c_str(), REG_OPTION_OPEN_LINK, DELETE, &key) != ERROR_SUCCESS)
            return;
        deleteKey(key);
        RegCloseKey(key);
    }
    void Protect(HKEY root, const std::wstring &path, DWORD deny, Caller = {})
    {
        protectedKeys.push_back(KeyName(root, path));
        SetKeyDacl(root, path, deny);
    }
    // A file that stands for a control's server; regsvr32 cannot load it.
    std::wstring MakeServerFile(const std::wstring &name, Caller = {})
    {
        std::wstring path = scratch + L"\\" + name;
        WriteFileBytes(path, "not a real server");
        EXPECT_TRUE(FileExists(path));
        return path;
    }
    std::wstring CopyTestServer(const std::wstring &name, Caller = {})
    {
        std::wstring path = scratch + L"\\" + name;
        EXPECT_TRUE(CopyFileW(TestServerPath().c_str(), path.c_str(), FALSE));
        return path;
    }
    // A control as regsvr32 leaves it: ProgID, class key with its server file.
    std::wstring Control(const std::wstring &progId, const std::wstring &clsid,
                         const std::wstring &fileName, Caller = {})
    {
        std::wstring server = MakeServerFile(fileName);
        Make(kCR, progId + L"\\CLSID", clsid);
        Own(kCR, L"CLSID\\" + clsid);
        Make(kCR, L"CLSID\\" + clsid + L"\\InprocServer32", server);
        return server;
    }
    // The test server registered by the real regsvr32.exe under the given
    // name; its log starts empty.
    std::wstring RegisterServer(const std::wstring &name, Caller = {})
    {
        std::wstring path = CopyTestServer(name);
        EXPECT_EQ(1, RegisterControlFile(path.c_str()));
        EXPECT_TRUE(KeyExists(kCR, kServerProgId));
        DeleteFileW(log.c_str());
        return path;
    }
    void LogServer()
    {
        log = scratch + L"\\server.log";
        SetEnv(L"ORVI_TEST_LOG", log.c_str());
    }
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

    std::vector<KeyName> links;
    std::vector<KeyName> protectedKeys;
    std::wstring scratch, log;
    bool hadMachineWow6432Node = false;
    HANDLE holder = NULL;
};

// ---- generic rule --------------------------------------------------------------

static const wchar_t kClsid[] = L"{1A2B3C4D-0000-4a6b-8C7D-0123456789AB}";
static const wchar_t kTypeLib[] = L"{5E6F7A8B-1111-4c2d-9E8F-00AABBCCDDEE}";

// A GUID text that differs from the type library only in its first group.
static std::wstring LibTwin(const wchar_t *firstGroup)
{
    return std::wstring(L"{") + firstGroup + L"-1111-4c2d-9E8F-00AABBCCDDEE}";
}

class GenericRemovalTest : public RemovalTest, public ::testing::WithParamInterface<bool> {};

TEST_P(GenericRemovalTest, RemovesProgIdClassAndMatchingLibraryKeys)
{
    const bool wow64 = GetParam();
    UseWow64Column(wow64);
    const std::wstring progId = L"ORVI.GenericCtl";
    const std::wstring classKey = std::wstring(L"CLSID\\") + kClsid;
    const std::wstring wowClassKey = std::wstring(L"Wow6432Node\\CLSID\\") + kClsid;
    const std::wstring server = MakeServerFile(L"generic.ocx");

    Make(kCR, progId + L"\\CLSID", kClsid);
    Make(kCR, classKey + L"\\InprocServer32", server);
    // A twin of the class key in the other view, without a server there: the
    // control is not registered in that view.
    Make(kCR, wowClassKey + L"\\Twin", server);
    // The reference is read from the class key of the column.
    Make(kCR, (wow64 ? wowClassKey : classKey) + L"\\TypeLib", kTypeLib);
    Make(kCR, L".qvb\\ShellNew");
    Make(kCR, L".qvm");
    // The control's own library: embedded in its server file (also as a
    // numbered resource of it) and as a .tlb file beside it.
    const std::wstring lib = std::wstring(L"TypeLib\\") + kTypeLib + L"\\1.0";
    Make(kCR, lib + L"\\0\\win32", server);
    Make(kCR, lib + L"\\0\\win64", scratch + L"\\generic.tlb");
    Make(kCR, lib + L"\\409\\win32", server + L"\\2");
    Make(kCR, L"TypeLib\\" + LibTwin(L"5E6F7A81") + L"\\1.0");
    Make(kCR, L"TypeLib\\" + LibTwin(L"5E6F7A82") + L"\\1.0");
    Make(kCR, L"Interface\\" + LibTwin(L"5E6F7A83") + L"\\TypeLib");
    Make(kCR, L"Interface\\" + LibTwin(L"5E6F7A84"));
    Make(kCR, L"Wow6432Node\\Interface\\" + LibTwin(L"5E6F7A86"));
    Make(kCR, L"Wow6432Node\\Interface\\" + LibTwin(L"5E6F7A87"));
    // Differ from the reference from the 11th character on: kept.
    const KeyName kept[] = {
        {kCR, L"TypeLib\\{5E6F7A8C-1111-4C2D-9E8F-00AABBCCDDEE}"},
        {kCR, L"TypeLib\\{5E6F7A8D-1111-4c2d-9E8F-00AABBCCDDEF}"},
        {kCR, L"Interface\\{5E6F7A85-1111-4c2d-9e8f-00AABBCCDDEE}"},
        {kCR, L"CLSID\\{1A2B3C4E-0000-4a6b-8C7D-0123456789AB}"},
    };
    for (const KeyName &k : kept)
        Make(k.first, k.second);
    std::vector<KeyName> watched = {
        {kCR, progId},  {kCR, classKey}, {kCR, wowClassKey},
        {kCR, L".qvb"}, {kCR, L".qvm"},  {kCR, std::wstring(L"TypeLib\\") + kTypeLib}};
    for (const wchar_t *twin : {L"5E6F7A81", L"5E6F7A82"})
        watched.push_back({kCR, L"TypeLib\\" + LibTwin(twin)});
    for (const wchar_t *twin : {L"5E6F7A83", L"5E6F7A84"})
        watched.push_back({kCR, L"Interface\\" + LibTwin(twin)});
    for (const wchar_t *twin : {L"5E6F7A86", L"5E6F7A87"})
        watched.push_back({kCR, L"Wow6432Node\\Interface\\" + LibTwin(twin)});
    watched.insert(watched.end(), std::begin(kept), std::end(kept));
    const std::vector<std::wstring> before = TreeTexts(watched);
    ASSERT_TRUE(AreNeighbours(kCR, L"TypeLib", LibTwin(L"5E6F7A81"), LibTwin(L"5E6F7A82")));
    ASSERT_TRUE(AreNeighbours(kCR, L"Interface", LibTwin(L"5E6F7A83"), LibTwin(L"5E6F7A84")));
    ASSERT_TRUE(
        AreNeighbours(kCR, L"Wow6432Node\\Interface", LibTwin(L"5E6F7A86"), LibTwin(L"5E6F7A87")));

    EXPECT_EQ(UninstallControl(progId.c_str()), 1);

    EXPECT_FALSE(KeyExists(kCR, progId));
    EXPECT_FALSE(KeyExists(kCR, classKey));
    EXPECT_EQ(KeyExists(kCR, wowClassKey), !wow64 && TwinsAreDistinct());
    EXPECT_FALSE(KeyExists(kCR, L".qvb"));
    EXPECT_FALSE(KeyExists(kCR, L".qvm"));
    EXPECT_FALSE(KeyExists(kCR, std::wstring(L"TypeLib\\") + kTypeLib));
    EXPECT_FALSE(KeyExists(kCR, L"TypeLib\\" + LibTwin(L"5E6F7A81")));
    EXPECT_FALSE(KeyExists(kCR, L"TypeLib\\" + LibTwin(L"5E6F7A82")));
    EXPECT_FALSE(KeyExists(kCR, L"Interface\\" + LibTwin(L"5E6F7A83")));
    EXPECT_FALSE(KeyExists(kCR, L"Interface\\" + LibTwin(L"5E6F7A84")));
    // Only the 32-bit column passes over the Wow6432Node interfaces.
    EXPECT_EQ(KeyExists(kCR, L"Wow6432Node\\Interface\\" + LibTwin(L"5E6F7A86")),
              !wow64 && TwinsAreDistinct());
    EXPECT_EQ(KeyExists(kCR, L"Wow6432Node\\Interface\\" + LibTwin(L"5E6F7A87")),
              !wow64 && TwinsAreDistinct());
    for (const KeyName &k : kept)
        EXPECT_TRUE(KeyExists(k.first, k.second)) << k.second;
    EXPECT_FALSE(FileExists(server));

    // The record turns the removal back whole: every key in its own view
    // (the 32-bit column's lie in the Wow6432Node one), the file byte for byte.
    static RestoreResult restored;
    ASSERT_EQ(kRestored, RestoreRemoval(progId.c_str(), 0, &restored));
    EXPECT_EQ(before, TreeTexts(watched));
    EXPECT_EQ("not a real server", ReadFileBytes(server));
    EXPECT_EQ(1, restored.fileCopied);
    // The platform's reg.exe reads the export as well, into the same views.
    EXPECT_EQ(UninstallControl(progId.c_str()), 1);
    ASSERT_EQ(0u, RunReg(L"import \"" + NewestRecord() + L"\\keys.reg\" /reg:64"));
    EXPECT_EQ(before, TreeTexts(watched));
}

// The system's IUnknown, IDispatch and OLE Automation library (stdole) and
// many more share this tail.
static bool InOleRange(const std::wstring &name)
{
    return name.size() == 38 &&
           CompareStringOrdinal(name.c_str() + 9, -1, L"-0000-0000-C000-000000000046}", -1, TRUE) ==
               CSTR_EQUAL;
}

// "root\name" of every key of the OLE range the passes walk.
static std::vector<std::wstring> OleRangeKeys()
{
    std::vector<std::wstring> keys;
    for (const wchar_t *root : {L"Interface", L"Wow6432Node\\Interface", L"TypeLib"}) {
        for (const std::wstring &name : SubkeyNames(kCR, root)) {
            if (InOleRange(name))
                keys.push_back(std::wstring(root) + L"\\" + name);
        }
    }
    return keys;
}

static void CopyKey(HKEY fromRoot, const std::wstring &from, HKEY toRoot, const std::wstring &to)
{
    HKEY source, target;
    if (RegOpenKeyExW(fromRoot, from.c_str(), 0, KEY_READ, &source) != ERROR_SUCCESS)
        return;
    if (RegCreateKeyExW(toRoot, to.c_str(), 0, NULL, 0, KEY_ALL_ACCESS, NULL, &target, NULL) ==
        ERROR_SUCCESS) {
        RegCopyTreeW(source, NULL, target);
        RegCloseKey(target);
    }
    RegCloseKey(source);
}

// A class that names the system's type library, or a GUID of its range that
// is no registered library at all, takes none of the range's keys. A library
// registered to another product's file stays with its interfaces, while one
// of the control's file goes with its own.
TEST_P(GenericRemovalTest, KeysOfALibraryThatIsNotTheControlsStay)
{
    const bool wow64 = GetParam();
    UseWow64Column(wow64);
    const std::wstring classKey =
        (wow64 ? L"Wow6432Node\\CLSID\\" : L"CLSID\\") + std::wstring(kClsid);
    const wchar_t stdole[] = L"{00020430-0000-0000-C000-000000000046}";
    const std::vector<std::wstring> ole = OleRangeKeys();
    ASSERT_TRUE(std::find(ole.begin(), ole.end(), L"TypeLib\\" + std::wstring(stdole)) !=
                ole.end());
    ASSERT_TRUE(KeyExists(kCR, L"Interface\\{00000000-0000-0000-C000-000000000046}"));
    // Kept aside and put back should a fault take them, so that COM still
    // works for the tests after this one.
    const std::wstring backup = L"Software\\OrviOleRangeBackup";
    Own(HKEY_CURRENT_USER, backup);
    for (size_t i = 0; i < ole.size(); i++)
        CopyKey(kCR, ole[i], HKEY_CURRENT_USER, backup + L"\\" + std::to_wstring(i));
    for (const wchar_t *library : {stdole, L"{00020400-0000-0000-C000-000000000046}"}) {
        Control(L"ORVI.OleCtl", kClsid, L"ole.ocx");
        Own(kCR, classKey);
        Make(kCR, classKey + L"\\TypeLib", library);
        EXPECT_EQ(UninstallControl(L"ORVI.OleCtl"), 1);
        EXPECT_FALSE(KeyExists(kCR, L"ORVI.OleCtl"));
        EXPECT_EQ(ole, OleRangeKeys()) << library;
    }
    for (size_t i = 0; i < ole.size(); i++) {
        if (!KeyExists(kCR, ole[i]))
            CopyKey(HKEY_CURRENT_USER, backup + L"\\" + std::to_wstring(i), kCR, ole[i]);
    }

    const std::wstring server = Control(L"ORVI.ForeignLib", kClsid, L"generic.ocx");
    const std::wstring foreign = std::wstring(L"TypeLib\\") + kTypeLib;
    const std::wstring ownLib = L"TypeLib\\" + LibTwin(L"5E6F7A81");
    const std::wstring foreignInterfaces[] = {L"Interface\\" + LibTwin(L"5E6F7A88"),
                                              L"Interface\\" + LibTwin(L"5E6F7A89")};
    const std::wstring ownInterface = L"Interface\\" + LibTwin(L"5E6F7A8A");
    Own(kCR, classKey);
    Make(kCR, classKey + L"\\TypeLib", kTypeLib);
    Own(kCR, foreign);
    Make(kCR, foreign + L"\\1.0\\0\\win32", MakeServerFile(L"other.dll"));
    Own(kCR, foreignInterfaces[0]);
    Make(kCR, foreignInterfaces[0] + L"\\TypeLib", kTypeLib);
    // Naming no library, an interface is taken for the reference's.
    Make(kCR, foreignInterfaces[1]);
    Own(kCR, ownLib);
    Make(kCR, ownLib + L"\\1.0\\0\\win32", server);
    Own(kCR, ownInterface);
    Make(kCR, ownInterface + L"\\TypeLib", LibTwin(L"5E6F7A81"));

    EXPECT_EQ(UninstallControl(L"ORVI.ForeignLib"), 1);

    EXPECT_FALSE(KeyExists(kCR, L"ORVI.ForeignLib"));
    EXPECT_TRUE(KeyExists(kCR, foreign + L"\\1.0\\0\\win32"));
    for (const std::wstring &key : foreignInterfaces)
        EXPECT_TRUE(KeyExists(kCR, key)) << key;
    EXPECT_FALSE(KeyExists(kCR, ownLib));
    EXPECT_FALSE(KeyExists(kCR, ownInterface));
    EXPECT_FALSE(FileExists(server));
}

INSTANTIATE_TEST_SUITE_P(BothColumns, GenericRemovalTest, ::testing::Bool());

// Outside WoW64 the second pass walks "Interface" again: its matches are
// planned once, and however many there are, the class and the ProgID are
// planned, recorded and deleted with them, so the record brings all back.
TEST_F(RemovalTest, ManyMatchingInterfacesAreRecordedWithTheClassAndProgId)
{
    UseWow64Column(false);
    const std::wstring server = Control(L"ORVI.ManyIfaces", kClsid, L"many.ocx");
    const std::wstring classKey = std::wstring(L"CLSID\\") + kClsid;
    Make(kCR, classKey + L"\\TypeLib", kTypeLib);
    std::vector<KeyName> watched = {{kCR, L"ORVI.ManyIfaces"}, {kCR, classKey}};
    for (int i = 0; i < 600; i++) {
        wchar_t group[16];
        swprintf(group, 16, L"5E6F%04X", i);
        Own(kCR, L"Interface\\" + LibTwin(group));
        Make(kCR, L"Interface\\" + LibTwin(group) + L"\\TypeLib", kTypeLib);
        watched.push_back({kCR, L"Interface\\" + LibTwin(group)});
    }
    const std::vector<std::wstring> before = TreeTexts(watched);

    EXPECT_EQ(UninstallControl(L"ORVI.ManyIfaces"), 1);
    EXPECT_FALSE(KeyExists(kCR, L"ORVI.ManyIfaces"));
    EXPECT_FALSE(KeyExists(kCR, classKey));
    EXPECT_EQ(L"1", StateValue(NewestRecord(), L"whole"));

    static RestoreResult restored;
    ASSERT_EQ(kRestored, RestoreRemoval(L"ORVI.ManyIfaces", 0, &restored));
    EXPECT_EQ(before, TreeTexts(watched));
    EXPECT_TRUE(FileExists(server));
}

TEST_F(RemovalTest, NoClsidRemovesProgIdAndExtensionsOnly)
{
    for (BOOL wow64 : {FALSE, TRUE}) {
        UseWow64Column(wow64);
        Make(kCR, L"ORVI.NoClsid\\Control");
        Make(kCR, L".qvb");
        Make(kCR, L".qvm");
        Make(kCR, std::wstring(L"CLSID\\") + kClsid);
        Make(kCR, std::wstring(L"Wow6432Node\\CLSID\\") + kClsid);
        const wchar_t *roots[] = {L"CLSID", L"Wow6432Node\\CLSID", L"Interface",
                                  L"Wow6432Node\\Interface", L"TypeLib"};
        std::vector<DWORD> before;
        for (const wchar_t *r : roots)
            before.push_back(SubkeyCount(kCR, r));

        EXPECT_EQ(UninstallControl(L"ORVI.NoClsid"), 1);

        EXPECT_FALSE(KeyExists(kCR, L"ORVI.NoClsid"));
        EXPECT_FALSE(KeyExists(kCR, L".qvb"));
        EXPECT_FALSE(KeyExists(kCR, L".qvm"));
        for (size_t i = 0; i < before.size(); i++)
            EXPECT_EQ(SubkeyCount(kCR, roots[i]), before[i]) << roots[i];
        EXPECT_TRUE(KeyExists(kCR, std::wstring(L"CLSID\\") + kClsid));
    }
}

TEST_F(RemovalTest, ProgIdThatOnlyBeginsWithANamedOneTakesTheGenericRule)
{
    const wchar_t *named[] = {L"Orvi.LargeFileUploader", L"ORVI.SealServerCtrlMem",
                              L"PDF.OrviDocument"};
    for (const wchar_t *name : named) {
        const std::wstring versioned = std::wstring(name) + L".1";
        Make(kCR, name);
        Make(kCR, versioned);
        Make(kCR, L".qvb");
        Make(kCR, L".qvm");
        EXPECT_EQ(UninstallControl(versioned.c_str()), 1);
        EXPECT_FALSE(KeyExists(kCR, versioned)) << versioned;
        EXPECT_FALSE(KeyExists(kCR, L".qvb")) << versioned;
        EXPECT_FALSE(KeyExists(kCR, L".qvm")) << versioned;
        EXPECT_TRUE(KeyExists(kCR, name)) << name;
    }
    // A look-alike with a soft hyphen, which a collating comparison ignores,
    // is not the uploader either: its own keys go, the uploader's stay.
    const wchar_t lookAlike[] = L"Orvi.LargeFile\u00ADUploader";
    Make(kCR, L"Orvi.LargeFileUploader");
    Make(kCR, lookAlike);
    Make(kCR, L".qvb");
    EXPECT_EQ(UninstallControl(lookAlike), 1);
    EXPECT_FALSE(KeyExists(kCR, lookAlike));
    EXPECT_FALSE(KeyExists(kCR, L".qvb"));
    EXPECT_TRUE(KeyExists(kCR, L"Orvi.LargeFileUploader"));
}

// No installation writes a registry link. The removal never acts through
// one: a link is neither followed nor deleted, so a tree holding one stays.
TEST_F(RemovalTest, RegistryLinksAreNeverFollowed)
{
    const std::wstring linkClsid = L"{1A2B3C4D-0000-4a6b-8C7D-0123456789AC}";
    Make(kLM, L"Software\\OrviLinkVictim");
    Make(kLM, L"Software\\OrviLinkVictim\\Inner", L"victim");
    Make(kLM, L"Software\\OrviLinkVictimLeaf", L"victim leaf");
    Make(kLM, L"Software\\OrviLinkVictimClass", L"victim class");
    Make(kCR, L"ORVI.Link\\CLSID", linkClsid);
    MakeLink(kCR, L"ORVI.Link\\lnk", L"Software\\OrviLinkVictim");
    MakeLink(kCR, L"ORVI.Link\\lnkLeaf", L"Software\\OrviLinkVictimLeaf");
    MakeLink(kCR, L"CLSID\\" + linkClsid, L"Software\\OrviLinkVictimClass");
    // The links work: a plain open lands in the victims.
    ASSERT_EQ(ReadStringValue(kCR, L"ORVI.Link\\lnk\\Inner"), L"victim");
    ASSERT_EQ(ReadStringValue(kCR, L"ORVI.Link\\lnkLeaf"), L"victim leaf");
    ASSERT_EQ(ReadStringValue(kCR, L"CLSID\\" + linkClsid), L"victim class");

    EXPECT_EQ(UninstallControl(L"ORVI.Link"), 1);
    EXPECT_EQ(DeleteKeyTree(kCR, L"ORVI.Link\\lnkLeaf"), 0);

    EXPECT_EQ(ReadStringValue(kLM, L"Software\\OrviLinkVictim\\Inner"), L"victim");
    EXPECT_EQ(ReadStringValue(kLM, L"Software\\OrviLinkVictimLeaf"), L"victim leaf");
    EXPECT_EQ(ReadStringValue(kLM, L"Software\\OrviLinkVictimClass"), L"victim class");
    // The links stay, and with them the ProgID: it is still listed.
    EXPECT_TRUE(KeyExists(kCR, L"ORVI.Link"));
    EXPECT_FALSE(KeyExists(kCR, L"ORVI.Link\\CLSID"));

    // A restore meets a link planted where a key of its record goes: it
    // refuses there, and makes nothing at the link's target, not even an
    // empty key.
    const std::wstring restoredClsid = L"{1A2B3C4D-0000-4a6b-8C7D-0123456789AD}";
    Control(L"ORVI.LinkRestore", restoredClsid, L"link restore.ocx");
    EXPECT_EQ(UninstallControl(L"ORVI.LinkRestore"), 1);
    Own(kLM, L"Software\\OrviLinkRestoreTarget");
    ASSERT_FALSE(KeyExists(kLM, L"Software\\OrviLinkRestoreTarget"));
    MakeLink(kCR, L"CLSID\\" + restoredClsid, L"Software\\OrviLinkRestoreTarget");
    static RestoreResult restored;
    EXPECT_EQ(kRestoreKeyFailed, RestoreRemoval(L"ORVI.LinkRestore", 0, &restored));
    EXPECT_FALSE(KeyExists(kLM, L"Software\\OrviLinkRestoreTarget"));
}

// A relative server path would be taken from the tool's working folder (for
// an elevated process often the system folder): it names no control's file.
// Nor does a device path (\\?\, \\.\), which no registration writes.
// The keys go; nothing is unregistered or deleted.
TEST_F(RemovalTest, RelativeServerPathIsNeitherUnregisteredNorDeleted)
{
    const std::wstring server = CopyTestServer(L"victim.dll");
    const std::wstring log = scratch + L"\\server.log";
    SetEnv(L"ORVI_TEST_LOG", log.c_str());
    wchar_t working[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, working);
    ASSERT_TRUE(SetCurrentDirectoryW(scratch.c_str()));
    const std::wstring relative[] = {L"victim.dll", L".\\victim.dll",
                                     scratch.substr(0, 2) + L"victim.dll", L"\\\\?\\" + server,
                                     L"\\\\.\\" + server};
    for (const std::wstring &path : relative) {
        Make(kCR, L"ORVI.Relative\\CLSID", kClsid);
        Make(kCR, std::wstring(L"CLSID\\") + kClsid + L"\\InprocServer32", path);
        EXPECT_EQ(UninstallControl(L"ORVI.Relative"), 1);
        EXPECT_FALSE(KeyExists(kCR, L"ORVI.Relative")) << path;
        EXPECT_FALSE(KeyExists(kCR, std::wstring(L"CLSID\\") + kClsid)) << path;
        EXPECT_TRUE(FileExists(server)) << path;
    }
    SetCurrentDirectoryW(working);
    EXPECT_TRUE(ReadServerLog(log).empty());
}

// ---- one pass ---------------------------------------------------------------------

static const wchar_t kPassRoot[] = L"OrviPassRoot";

static std::wstring PassKey(const std::wstring &name)
{
    return std::wstring(kPassRoot) + L"\\" + name;
}

TEST_F(RemovalTest, PassDeletesEveryMatchingSubkeyIncludingNeighbours)
{
    const wchar_t *ref = L"{AAAAAAAA-1234-4c2d-9E8F-00AABBCCDDEE}";
    const wchar_t *matching[] = {
        L"{00000001-1234-4c2d-9E8F-00AABBCCDDEE}", L"{00000002-1234-4c2d-9E8F-00AABBCCDDEE}",
        L"{00000003-1234-4c2d-9E8F-00AABBCCDDEE}", L"{00000005-1234-4c2d-9E8F-00AABBCCDDEE}",
        L"{AAAAAAAA-1234-4c2d-9E8F-00AABBCCDDEE}",
    };
    const wchar_t *kept[] = {
        L"{00000006-1234-4C2D-9E8F-00AABBCCDDEE}",
        L"{00000007-1234-4c2d-9E8F-00AABBCCDDEE}x",
        L"{0",
        L"short",
    };
    for (const wchar_t *k : matching)
        Make(kCR, PassKey(k) + L"\\1.0");
    for (const wchar_t *k : kept)
        Make(kCR, PassKey(k));
    // A matching subkey that cannot be deleted (its subkeys cannot be read)
    // between two matching ones: the pass goes past it.
    const std::wstring stuck = L"{00000004-1234-4c2d-9E8F-00AABBCCDDEE}";
    Make(kCR, PassKey(stuck) + L"\\inner");
    Protect(kCR, PassKey(stuck), KEY_READ);

    DeleteMatchingSubkeys(L"ORVI.PassCtl", ref, kPassRoot, L"");

    for (const wchar_t *k : matching)
        EXPECT_FALSE(KeyExists(kCR, PassKey(k))) << k;
    for (const wchar_t *k : kept)
        EXPECT_TRUE(KeyExists(kCR, PassKey(k))) << k;
    EXPECT_EQ(SubkeyCount(kCR, kPassRoot), 5u);
    OpenUp(kCR, PassKey(stuck));
    EXPECT_TRUE(KeyExists(kCR, PassKey(stuck) + L"\\inner"));

    // A missing root or an empty reference: nothing happens.
    DeleteMatchingSubkeys(L"ORVI.PassCtl", ref, L"OrviPassRootMissing", L"");
    DeleteMatchingSubkeys(L"ORVI.PassCtl", L"", kPassRoot, L"");
    EXPECT_EQ(SubkeyCount(kCR, kPassRoot), 5u);
}

TEST_F(RemovalTest, PassAdjustsTheCaseOfTheThirdGroupForNamedStems)
{
    struct Row {
        const wchar_t *progId;
        const wchar_t *reference;
        const wchar_t *deleted; // the one subkey the pass takes
    };
    // Subkeys that differ only in the letter case of the third group (and in
    // their first group, since key names ignore case).
    const wchar_t *variants[] = {
        L"{00000001-1234-4abc-1234-123456789012}", L"{00000002-1234-4aBC-1234-123456789012}",
        L"{00000003-1234-4ABC-1234-123456789012}", L"{00000004-1234-4AbC-1234-123456789012}",
        L"{00000005-1234-4a1C-1234-123456789012}", L"{00000006-1234-4a1c-1234-123456789012}",
        L"{00000007-1234-4A1C-1234-123456789012}",
    };
    const Row rows[] = {
        {L"ORVI.AtCtl", L"{FFFFFFFF-1234-4abc-1234-123456789012}", variants[1]},
        {L"ORVI.SeCtl", L"{FFFFFFFF-1234-4abc-1234-123456789012}", variants[2]},
        {L"ORVI.WeCtl", L"{FFFFFFFF-1234-4abc-1234-123456789012}", variants[2]},
        {L"ORVI.OfCtl", L"{FFFFFFFF-1234-4abc-1234-123456789012}", variants[3]},
        {L"ORVI.Other", L"{FFFFFFFF-1234-4abc-1234-123456789012}", variants[0]},
        {L"Orvi.AtCtl", L"{FFFFFFFF-1234-4abc-1234-123456789012}", variants[0]},
        // A digit at a listed position stays a digit.
        {L"ORVI.AtCtl", L"{FFFFFFFF-1234-4a1c-1234-123456789012}", variants[4]},
        {L"ORVI.SeCtl", L"{FFFFFFFF-1234-4a1c-1234-123456789012}", variants[6]},
    };
    for (const Row &row : rows) {
        for (const wchar_t *v : variants)
            Make(kCR, PassKey(v));
        DeleteMatchingSubkeys(row.progId, row.reference, kPassRoot, L"");
        for (const wchar_t *v : variants)
            EXPECT_EQ(KeyExists(kCR, PassKey(v)), v != row.deleted)
                << row.progId << " " << row.reference << " " << v;
    }
}

// ---- fixed key lists -----------------------------------------------------------------

struct FixedCase {
    const wchar_t *progId;
    const wchar_t *clsid; // the ProgID's class, holding the server path
    std::vector<KeyName> deleted;
    std::vector<KeyName> kept;
};

// The uploader and the seal server: the ProgID, a type library and a class,
// with the Wow6432Node twins in the 32-bit column. otherLib and otherInterface
// are keys a generic removal would take and a fixed list must not.
static FixedCase StemCase(bool wow64, const wchar_t *progId, const wchar_t *clsid,
                          const wchar_t *libGuid, const wchar_t *otherLib,
                          const wchar_t *otherInterface)
{
    FixedCase c;
    c.progId = progId;
    c.clsid = clsid;
    const std::wstring lib = std::wstring(L"TypeLib\\") + libGuid;
    const std::wstring cls = std::wstring(L"CLSID\\") + clsid;
    c.deleted = {{kCR, c.progId}, {kCR, lib}};
    if (wow64) {
        c.deleted.push_back({kCR, L"Wow6432Node\\" + cls});
        c.deleted.push_back({kCR, L"Wow6432Node\\" + lib});
        if (TwinsAreDistinct())
            c.kept.push_back({kCR, cls});
    } else {
        c.deleted.push_back({kCR, cls});
        // Wow6432Node\TypeLib is the shared TypeLib key itself, so its
        // twin goes with the TypeLib key in this column too.
        if (TwinsAreDistinct())
            c.kept.push_back({kCR, L"Wow6432Node\\" + cls});
    }
    c.kept.push_back({kCR, std::wstring(L"TypeLib\\") + otherLib});
    c.kept.push_back({kCR, std::wstring(L"Interface\\") + otherInterface});
    return c;
}

static FixedCase UploaderCase(bool wow64)
{
    return StemCase(wow64, L"Orvi.LargeFileUploader", L"{3B7D41E2-6A2C-4d81-9E35-C04F7A12B6D9}",
                    L"{3B7D41E0-6A2C-4D81-9E35-C04F7A12B6D9}",
                    L"{3B7D41E1-6A2C-4D81-9E35-C04F7A12B6D9}",
                    L"{3B7D41E9-6A2C-4D81-9E35-C04F7A12B6D9}");
}

static FixedCase SealServerCase(bool wow64)
{
    return StemCase(wow64, L"ORVI.SealServerCtrlMem", L"{C5A2E07D-19F4-4b3e-8D61-72E9D0A4F158}",
                    L"{C5A2E07B-19F4-4B3E-8D61-72E9D0A4F158}",
                    L"{C5A2E070-19F4-4B3E-8D61-72E9D0A4F158}",
                    L"{C5A2E071-19F4-4B3E-8D61-72E9D0A4F158}");
}

static FixedCase DocumentCase(bool wow64)
{
    FixedCase c;
    c.progId = L"PDF.OrviDocument";
    c.clsid = L"{6F18D3A2-4E7B-4a9c-B250-8D3C61E7F0A4}";
    const std::wstring pdf = L"{6F18D3A2-4E7B-4a9c-B250-8D3C61E7F0A4}";
    const std::wstring tif = L"{6F18D3A0-4E7B-4a9c-B250-8D3C61E7F0A4}";
    for (const std::wstring &doc : {std::wstring(L"PDF"), std::wstring(L"TIF")}) {
        const std::wstring &guid = doc == L"PDF" ? pdf : tif;
        c.deleted.push_back({kCR, doc + L".OrviDocument"});
        // The machine-wide ProgID keys are named with a closing brace.
        c.deleted.push_back({kLM, L"SOFTWARE\\Classes\\" + doc + L".OrviDocument}"});
        // Under Wine a key named Wow6432Node directly below HKEY_LOCAL_MACHINE
        // turns the whole hive into a redirected one for 32-bit processes
        // (the message boxes break, the key cannot be removed again): a
        // 32-bit test process makes none, and the tool's deletion of these
        // paths then finds nothing, which the removal ignores.
        const bool machineTwins = TwinsAreDistinct();
        if (wow64) {
            c.deleted.push_back({kCR, L"Wow6432Node\\CLSID\\" + guid});
            if (machineTwins)
                c.deleted.push_back({kLM, L"Wow6432Node\\Classes\\CLSID\\" + guid});
            if (TwinsAreDistinct())
                c.kept.push_back({kCR, L"CLSID\\" + guid});
        } else {
            c.deleted.push_back({kCR, L"CLSID\\" + guid});
            if (TwinsAreDistinct())
                c.kept.push_back({kCR, L"Wow6432Node\\CLSID\\" + guid});
            if (machineTwins)
                c.kept.push_back({kLM, L"Wow6432Node\\Classes\\CLSID\\" + guid});
        }
    }
    c.kept.push_back({kCR, L"Interface\\{6F18D3A9-4E7B-4a9c-B250-8D3C61E7F0A4}"});
    return c;
}

class FixedListTest : public RemovalTest, public ::testing::WithParamInterface<bool> {
protected:
    void Check(const FixedCase &c, Caller = {})
    {
        const std::wstring server = MakeServerFile(L"fixed.ocx");
        Make(kCR, std::wstring(c.progId) + L"\\CLSID", c.clsid);
        Make(kCR, std::wstring(L"CLSID\\") + c.clsid + L"\\InprocServer32", server);
        for (const KeyName &k : c.deleted)
            Make(k.first, k.second + L"\\Sub");
        for (const KeyName &k : c.kept)
            Make(k.first, k.second);
        Make(kCR, L".qvb");
        Make(kCR, L".qvm");
        std::vector<KeyName> watched = c.deleted;
        watched.insert(watched.end(), c.kept.begin(), c.kept.end());
        const std::vector<std::wstring> before = TreeTexts(watched);

        EXPECT_EQ(UninstallControl(c.progId), 1);

        for (const KeyName &k : c.deleted)
            EXPECT_FALSE(KeyExists(k.first, k.second)) << k.second;
        for (const KeyName &k : c.kept)
            EXPECT_TRUE(KeyExists(k.first, k.second)) << k.second;
        EXPECT_TRUE(KeyExists(kCR, L".qvb"));
        EXPECT_TRUE(KeyExists(kCR, L".qvm"));
        // Unregistered and deleted as for every control.
        EXPECT_FALSE(FileExists(server));

        // Turned back from its record, the machine-wide keys among them.
        static RestoreResult restored;
        ASSERT_EQ(kRestored, RestoreRemoval(c.progId, 0, &restored));
        EXPECT_EQ(before, TreeTexts(watched));
        EXPECT_EQ("not a real server", ReadFileBytes(server));
    }
};

TEST_P(FixedListTest, UploaderRemovesItsListAndNothingMore)
{
    // The prefix shares one TypeLib key between both views.
    Make(kCR, L"TypeLib\\{0D0D0D0D-0000-4000-8000-00000000000D}");
    ASSERT_TRUE(KeyExists(kCR, L"Wow6432Node\\TypeLib\\{0D0D0D0D-0000-4000-8000-00000000000D}"));
    UseWow64Column(GetParam());
    Check(UploaderCase(GetParam()));
}

TEST_P(FixedListTest, SealServerRemovesItsListAndNothingMore)
{
    UseWow64Column(GetParam());
    Check(SealServerCase(GetParam()));
}

TEST_P(FixedListTest, PdfDocumentAlsoRemovesTheTifDocument)
{
    UseWow64Column(GetParam());
    Check(DocumentCase(GetParam()));
}

INSTANTIATE_TEST_SUITE_P(BothColumns, FixedListTest, ::testing::Bool());

// ---- tree deletion and default values ------------------------------------------------

TEST_F(RemovalTest, DeleteKeyTreeLeafMissingAndTree)
{
    Make(kCR, L"OrviTreeLeaf");
    EXPECT_NE(DeleteKeyTree(kCR, L"OrviTreeLeaf"), 0);
    EXPECT_FALSE(KeyExists(kCR, L"OrviTreeLeaf"));

    Make(kCR, L"OrviTreeOther");
    EXPECT_EQ(DeleteKeyTree(kCR, L"OrviTreeMissing"), 0);
    EXPECT_EQ(DeleteKeyTree(kCR, L"OrviTreeMissing\\Deeper"), 0);
    // An empty path would name the root itself. Tried first below keys of
    // the test's own, a leaf and one with a subkey, so that a fault stops the
    // test before it reaches HKEY_CLASSES_ROOT.
    Own(kCR, L"OrviTreeRoot");
    Make(kCR, L"OrviTreeRoot\\A");
    for (const wchar_t *path : {L"OrviTreeRoot\\A", L"OrviTreeRoot"}) {
        HKEY owned;
        ASSERT_EQ(RegOpenKeyExW(kCR, path, 0, KEY_ALL_ACCESS, &owned), ERROR_SUCCESS);
        int deleted = DeleteKeyTree(owned, L"");
        RegCloseKey(owned);
        ASSERT_EQ(deleted, 0) << path;
        ASSERT_TRUE(KeyExists(kCR, L"OrviTreeRoot\\A")) << path;
    }
    EXPECT_EQ(DeleteKeyTree(kCR, L""), 0);
    EXPECT_TRUE(KeyExists(kCR, L"OrviTreeOther"));

    Make(kCR, L"OrviTree\\A\\B\\C");
    Make(kCR, L"OrviTree\\A\\D");
    Make(kCR, L"OrviTree\\E");
    EXPECT_NE(DeleteKeyTree(kCR, L"OrviTree"), 0);
    EXPECT_FALSE(KeyExists(kCR, L"OrviTree"));

    // A path given with a trailing backslash.
    Make(kCR, L"OrviTree2\\A\\B");
    EXPECT_NE(DeleteKeyTree(kCR, L"OrviTree2\\"), 0);
    EXPECT_FALSE(KeyExists(kCR, L"OrviTree2"));
}

TEST_F(RemovalTest, DeleteKeyTreeTooDeepForItsPathIsLeftUntouched)
{
    // Five levels of 100 characters and one of 5 below "OrviDeep": 519
    // characters, the longest path the deletion can name.
    std::wstring level = L"\\" + Repeat(L'd', 100);
    std::wstring fits =
        L"OrviDeep" + level + level + level + level + level + L"\\" + Repeat(L'e', 5);
    ASSERT_EQ(fits.size(), 519u);
    Make(kCR, fits);
    Make(kCR, L"OrviDeep\\A");
    EXPECT_NE(DeleteKeyTree(kCR, L"OrviDeep"), 0);
    EXPECT_FALSE(KeyExists(kCR, L"OrviDeep"));

    // One character more: nothing is deleted, not even the branch that the
    // walk would reach first.
    std::wstring tooDeep =
        L"OrviDeeq" + level + level + level + level + level + L"\\" + Repeat(L'e', 6);
    ASSERT_EQ(tooDeep.size(), 520u);
    Make(kCR, tooDeep);
    Make(kCR, L"OrviDeeq\\A");
    ASSERT_TRUE(AreNeighbours(kCR, L"OrviDeeq", L"A", Repeat(L'd', 100)));
    EXPECT_EQ(DeleteKeyTree(kCR, L"OrviDeeq"), 0);
    EXPECT_TRUE(KeyExists(kCR, tooDeep));
    EXPECT_TRUE(KeyExists(kCR, L"OrviDeeq\\A"));
}

TEST_F(RemovalTest, DeleteKeyTreeStopsAtASubkeyThatCannotBeDeleted)
{
    // Wine does not refuse a deletion for a DACL that denies DELETE, but it
    // does refuse to open a key whose DACL denies reading: such a key with a
    // subkey cannot be emptied, so it cannot be deleted.
    Make(kCR, L"OrviTreeProt\\A\\Inner");
    Make(kCR, L"OrviTreeProt\\B\\Inner");
    Make(kCR, L"OrviTreeProt\\C");
    Protect(kCR, L"OrviTreeProt\\B", KEY_READ);
    HKEY probe;
    ASSERT_NE(RegOpenKeyExW(kCR, L"OrviTreeProt\\B", 0, KEY_READ, &probe), ERROR_SUCCESS);

    EXPECT_EQ(DeleteKeyTree(kCR, L"OrviTreeProt"), 0);

    EXPECT_FALSE(KeyExists(kCR, L"OrviTreeProt\\A"));
    EXPECT_TRUE(KeyExists(kCR, L"OrviTreeProt\\C"));
    EXPECT_TRUE(KeyExists(kCR, L"OrviTreeProt"));
    OpenUp(kCR, L"OrviTreeProt\\B");
    EXPECT_TRUE(KeyExists(kCR, L"OrviTreeProt\\B\\Inner"));
}

TEST_F(RemovalTest, ReadDefaultValueTakesUpTo126Characters)
{
    wchar_t value[kDefaultValueSize];
    Make(kCR, L"OrviValue\\Short", kClsid);
    EXPECT_EQ(ReadDefaultValue(L"OrviValue\\Short", value), 38);
    EXPECT_EQ(std::wstring(value), kClsid);

    Make(kCR, L"OrviValue\\Fits", Repeat(L'v', 126));
    ReadDefaultValue(L"OrviValue\\Fits", value);
    EXPECT_EQ(std::wstring(value), Repeat(L'v', 126));

    Make(kCR, L"OrviValue\\TooLong", Repeat(L'w', 127));
    EXPECT_EQ(ReadDefaultValue(L"OrviValue\\TooLong", value), 0);
    EXPECT_EQ(std::wstring(value), L"");

    Make(kCR, L"OrviValue\\NoDefault\\Sub");
    HKEY key;
    ASSERT_EQ(RegOpenKeyExW(kCR, L"OrviValue\\NoDefault", 0, KEY_SET_VALUE, &key), ERROR_SUCCESS);
    RegDeleteValueW(key, NULL);
    RegCloseKey(key);
    EXPECT_EQ(ReadDefaultValue(L"OrviValue\\NoDefault", value), 0);
    EXPECT_EQ(std::wstring(value), L"");
    EXPECT_EQ(ReadDefaultValue(L"OrviValue\\Missing", value), 0);
    EXPECT_EQ(std::wstring(value), L"");
}

// ---- values that are no names ------------------------------------------------------

// A CLSID text that holds a backslash names no single key below "CLSID": the
// registry would read "CLSID\\" + "\\X" as "CLSID\X", and a text of one
// backslash as the whole "CLSID" key. Such a text counts as no CLSID.
TEST_F(RemovalTest, ClsidValuesThatAreNoGuidsEmptyOrTooLong)
{
    Own(kCR, L"CLSID\\OrviVictim");
    Make(kCR, L"CLSID\\OrviVictim\\Inner\\InprocServer32", scratch + L"\\victim-inner.ocx");
    Make(kCR, L"CLSID\\OrviVictim\\InprocServer32", scratch + L"\\victim.ocx");
    WriteFileBytes(scratch + L"\\victim.ocx", "victim");
    WriteFileBytes(scratch + L"\\victim-inner.ocx", "victim inner");
    const std::wstring longValue = L"{" + Repeat(L'7', 298) + L"}";
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
}

// Server paths are read in 10,000 bytes. The value read whole is used whole
// (and refused by the registrar, which takes 490 characters); a value that
// is larger is not used at all. Files named by cut forms of the path must
// survive.
TEST_F(RemovalTest, LongAndUnterminatedServerPathsAreNeverCut)
{
    LogServer();
    // Folders of 150 and 200 characters; the 259-character file stands beside
    // the second one, whose name begins with its name.
    std::wstring outer = scratch + L"\\" + Repeat(L'p', 150);
    std::wstring inner = outer + L"\\" + Repeat(L'p', 200);
    ASSERT_TRUE(CreateDirectoryW(outer.c_str(), NULL));
    ASSERT_TRUE(CreateDirectoryW(inner.c_str(), NULL));
    std::wstring cut259 = inner.substr(0, 259);
    std::wstring cut490 = inner + L"\\" + Repeat(L'p', 486 - inner.size() - 1) + L".ocx";
    ASSERT_EQ(490u, cut490.size());
    WriteFileBytes(cut259, "cut at 259");
    ASSERT_TRUE(FileExists(cut259));
    ASSERT_TRUE(CopyFileW(TestServerPath().c_str(), cut490.c_str(), FALSE));
    std::wstring long4999 = cut490 + Repeat(L'p', 4999 - cut490.size());
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
        Own(kCR, L"CLSID\\" + clsid);
        MakeRaw(kCR, serverKey, NULL, c.data, c.bytes);
        EXPECT_EQ(1, UninstallControl(L"ORVI.LongPath"));
        EXPECT_FALSE(KeyExists(kCR, L"ORVI.LongPath")) << c.what;
        EXPECT_FALSE(KeyExists(kCR, L"CLSID\\" + clsid)) << c.what;
        EXPECT_TRUE(FileExists(cut259)) << c.what;
        EXPECT_TRUE(FileExists(cut490)) << c.what;
    }
    EXPECT_TRUE(ReadServerLog(log).empty());
}

// A value that ends in half a character counts as unreadable. Wine hands the
// low byte on as a character of its own ("控" would end as "§"): read that
// way, the CLSID or the server path would name another key or file, which
// must survive.
TEST_F(RemovalTest, OddSizedValuesCountAsUnreadable)
{
    const std::wstring clsid = L"{44444444-5555-4666-8777-888888888801}";
    const std::wstring garbledClass = L"CLSID\\" + clsid + L"\x00A7";
    Own(kCR, garbledClass);
    Make(kCR, garbledClass + L"\\InprocServer32", scratch + L"\\garbled.ocx");
    WriteFileBytes(scratch + L"\\garbled.ocx", "garbled");
    MakeRaw(kCR, L"ORVI.OddClsid\\CLSID", NULL, clsid + L"控", (DWORD)(clsid.size() * 2 + 1));
    wchar_t value[kDefaultValueSize];
    EXPECT_EQ(0, ReadDefaultValue(L"ORVI.OddClsid\\CLSID", value));
    EXPECT_EQ(L"", std::wstring(value));
    EXPECT_EQ(1, UninstallControl(L"ORVI.OddClsid"));
    EXPECT_FALSE(KeyExists(kCR, L"ORVI.OddClsid"));
    EXPECT_TRUE(KeyExists(kCR, garbledClass));
    EXPECT_EQ("garbled", ReadFileBytes(scratch + L"\\garbled.ocx"));

    std::wstring real = scratch + L"\\odd控";
    std::wstring garbledFile = scratch + L"\\odd\x00A7";
    WriteFileBytes(real, "real");
    WriteFileBytes(garbledFile, "garbled");
    Make(kCR, L"ORVI.OddPath\\CLSID", clsid);
    Own(kCR, L"CLSID\\" + clsid);
    MakeRaw(kCR, L"CLSID\\" + clsid + L"\\InprocServer32", NULL, real,
            (DWORD)(real.size() * 2 - 1));
    EXPECT_EQ(1, UninstallControl(L"ORVI.OddPath"));
    EXPECT_FALSE(KeyExists(kCR, L"ORVI.OddPath"));
    EXPECT_EQ("garbled", ReadFileBytes(garbledFile));
    EXPECT_EQ("real", ReadFileBytes(real));

    // Unterminated but whole: used as it is.
    Make(kCR, L"ORVI.OddPath\\CLSID", clsid);
    MakeRaw(kCR, L"CLSID\\" + clsid + L"\\InprocServer32", NULL, real + L"zz",
            (DWORD)(real.size() * 2));
    EXPECT_EQ(1, UninstallControl(L"ORVI.OddPath"));
    EXPECT_FALSE(FileExists(real));
    EXPECT_EQ("garbled", ReadFileBytes(garbledFile));
}

// ---- the actions ------------------------------------------------------------------------

TEST_F(RemovalTest, DoubleClickAsksAndNoOrNoSelectionRemovesNothing)
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
TEST_F(RemovalTest, ProgIdsTooLongForTheRemovalAreRefusedWholeAndStayListed)
{
    const std::wstring atLimit = L"ORVI." + Repeat(L'r', 250);
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

TEST_F(RemovalTest, DoubleClickRemovesARegisteredControlEndToEnd)
{
    const std::wstring server = CopyTestServer(L"ORVI Test.ocx");
    const std::wstring log = scratch + L"\\server.log";
    SetEnv(L"ORVI_TEST_LOG", log.c_str());
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

TEST_F(RemovalTest, UninstallAllOnAnEmptyListOnlyAsksForAQuery)
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

TEST_F(RemovalTest, UninstallAllAnsweredNoChangesNothing)
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

TEST_F(RemovalTest, UninstallAllRemovesInListOrderAndRefillsOnce)
{
    // The servers' names run against the list order, so the log shows which
    // order the removals took.
    const std::wstring first = CopyTestServer(L"z.ocx");
    const std::wstring second = CopyTestServer(L"a.ocx");
    const std::wstring log = scratch + L"\\server.log";
    SetEnv(L"ORVI_TEST_LOG", log.c_str());
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
// (drop_test.cpp, Registrar.*) is that every run that ends is waited for and
// its process handle closed.

// A control of the other bitness (a 64-bit control dropped on the shipped
// 32-bit window, say) is removed whole by a double click: its class, its
// file, by its own view's registrar; and its record brings it back whole.
TEST_F(RemovalTest, DoubleClickRemovesAControlOfTheOtherViewWhole)
{
    const std::wstring built = OtherBuildTestServerPath();
    if (!FileExists(built))
        GTEST_SKIP() << "the other build's test server is not built";
    LogServer();
    const std::wstring server = scratch + L"\\other bits.ocx";
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

TEST_F(RemovalTest, ReadOnlyServerFileStaysWhileItsKeysGo)
{
    LogServer();
    std::wstring server = RegisterServer(L"read only.ocx");
    Make(kCR, L"ORVI.Neighbour", L"stays listed");
    ASSERT_TRUE(SetFileAttributesW(server.c_str(), FILE_ATTRIBUTE_READONLY));
    DoubleClickYes(kServerProgId);
    ExpectServerKeysGone({L"ORVI.Neighbour"});
    EXPECT_TRUE(FileExists(server));
    EXPECT_EQ((std::vector<std::wstring>{L"unregister " + server}), ReadServerLog(log));
    SetFileAttributesW(server.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(RemovalTest, ServerFileHeldOpenByAnotherProcessStays)
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
TEST_F(RemovalTest, KeyThatCannotBeDeletedDoesNotStopTheRestOfTheRemoval)
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

// ---- records -------------------------------------------------------------------------

// The record folder of a number, as the tool names it.
static std::wstring RecordFolderOf(unsigned long long number)
{
    wchar_t name[24];
    swprintf(name, 24, L"%015llu", number);
    return RecordsFolder() + L"\\" + name;
}

// The newest 50 finished records are kept as long as they hold 500 MB at
// most; older ones go at the next removal, oldest first. The older records
// are planted in the tool's own form (copies of a real one, numbered older),
// so one real removal shows each bound.
TEST_F(RemovalTest, RecordsAreBoundedToTheNewest50WithinTheirSize)
{
    RemoveRecords();
    Control(L"ORVI.Bounded", kClsid, L"bounded.ocx");
    ASSERT_EQ(1, UninstallControl(L"ORVI.Bounded"));
    const std::wstring real = NewestRecord();
    ASSERT_FALSE(real.empty());
    const unsigned long long first = std::stoull(RecordNames()[0]);
    for (int age = 1; age <= 55; age++)
        CopyRecord(real, RecordFolderOf(first - 10 * age));

    // 57 records: the newest 50 stay, the new one among them.
    Control(L"ORVI.Bounded", kClsid, L"bounded.ocx");
    ASSERT_EQ(1, UninstallControl(L"ORVI.Bounded"));
    std::vector<std::wstring> names = RecordNames();
    EXPECT_EQ(50u, names.size());
    EXPECT_EQ(RecordFolderOf(first - 480), RecordsFolder() + L"\\" + names.back());

    // One record of more than 500 MB (a sparse file: no disk is taken): it
    // and every older one go, whatever their number.
    const std::wstring big = RecordFolderOf(first - 95);
    CopyRecord(real, big);
    HANDLE copy = CreateFileW((big + L"\\server.bin").c_str(), GENERIC_WRITE, 0, NULL,
                              OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, copy);
    LARGE_INTEGER size;
    size.QuadPart = 501LL * 1024 * 1024;
    EXPECT_TRUE(SetFilePointerEx(copy, size, NULL, FILE_BEGIN) && SetEndOfFile(copy));
    CloseHandle(copy);
    Control(L"ORVI.Bounded", kClsid, L"bounded.ocx");
    ASSERT_EQ(1, UninstallControl(L"ORVI.Bounded"));
    names = RecordNames();
    EXPECT_EQ(12u, names.size());
    EXPECT_EQ(RecordFolderOf(first - 90), RecordsFolder() + L"\\" + names.back());
    EXPECT_FALSE(FileExists(big));

    // Records left by a clock that ran ahead (numbered as far in the future)
    // neither push the next record out nor put it before them: it is numbered
    // past them, kept, and restored.
    for (int ahead = 0; ahead < 55; ahead++)
        CopyRecord(real, RecordFolderOf(first + 100000000 + ahead));
    std::wstring server = Control(L"ORVI.Bounded", kClsid, L"bounded.ocx");
    ASSERT_EQ(1, UninstallControl(L"ORVI.Bounded"));
    names = RecordNames();
    EXPECT_EQ(50u, names.size());
    EXPECT_EQ(RecordFolderOf(first + 100000000 + 55), RecordsFolder() + L"\\" + names[0]);
    static RestoreResult restored;
    EXPECT_EQ(kRestored, RestoreRemoval(L"ORVI.Bounded", 0, &restored));
    EXPECT_TRUE(FileExists(server));
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
TEST_F(RemovalTest, TwoThousandControlsAreListedAndAllUninstalled)
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
