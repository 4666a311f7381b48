// Control removal: the generic rule and the fixed key lists in both columns,
// the passes, tree deletion, default values and values that are no names,
// registry links, with the real regsvr32.exe. The window's two removal
// actions are tested in window/uninstall_page_test.cpp, the records in
// records_test.cpp.
#include "support/record_support.h"
#include "support/test_support.h"

#include "controls/controls.h"
#include "records/records.h"
#include "register/register.h"

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

// In a 64-bit process "CLSID\..." and "Wow6432Node\CLSID\..." below
// HKEY_CLASSES_ROOT are two keys, one per view. In a 32-bit process on 64-bit
// Windows both paths name the one key of the 32-bit view, as the tool's own
// paths do: there a twin kept in one column is the very key deleted, and the
// tests do not look for it.
static bool TwinsAreDistinct()
{
    return !ProcessIsWow64();
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

// The removal's engine over keys and files the test owns.
class RemovalTest : public SceneTest {
protected:
    RemovalTest() : SceneTest(L"removal")
    {
    }
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
    Make(kCR, lib + L"\\0\\win64", dir + L"\\generic.tlb");
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
    const std::vector<std::wstring> before = KeyTreeTexts(watched);
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
    EXPECT_EQ(before, KeyTreeTexts(watched));
    EXPECT_EQ("not a real server", ReadFileBytes(server));
    EXPECT_EQ(1, restored.fileCopied);
    // The platform's reg.exe reads the export as well, into the same views.
    EXPECT_EQ(UninstallControl(progId.c_str()), 1);
    ASSERT_EQ(0u, RunReg(L"import \"" + NewestRecord() + L"\\keys.reg\" /reg:64"));
    EXPECT_EQ(before, KeyTreeTexts(watched));
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
// The keys go; nothing is unregistered or deleted. An expandable value names
// its file once expanded: that file is unregistered and deleted.
TEST_F(RemovalTest, RelativeServerPathIsNeitherUnregisteredNorDeletedAnExpandableOneIs)
{
    const std::wstring server = CopyTestServer(L"victim.dll");
    LogServer();
    wchar_t working[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, working);
    ASSERT_TRUE(SetCurrentDirectoryW(dir.c_str()));
    const std::wstring relative[] = {L"victim.dll", L".\\victim.dll",
                                     dir.substr(0, 2) + L"victim.dll", L"\\\\?\\" + server,
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

    // A variable a user can set names no file; the system's folders do.
    SetEnv(L"ORVI_TEST_DIR", dir.c_str());
    PlantControl(L"ORVI.Expanded", kClsid, L"%ORVI_TEST_DIR%\\victim.dll", false, REG_EXPAND_SZ);
    EXPECT_EQ(UninstallControl(L"ORVI.Expanded"), 1);
    SetEnv(L"ORVI_TEST_DIR", NULL);
    EXPECT_TRUE(FileExists(server));
    // dir as seen from the Windows folder, which lies on the same drive.
    const std::wstring fromWindows = L"\"%SystemRoot%\\..\\" + dir.substr(3) + L"\\victim.dll\"";
    PlantControl(L"ORVI.Expanded", kClsid, fromWindows, false, REG_EXPAND_SZ);
    EXPECT_EQ(UninstallControl(L"ORVI.Expanded"), 1);
    EXPECT_FALSE(KeyExists(kCR, std::wstring(L"CLSID\\") + kClsid));
    EXPECT_FALSE(FileExists(server));
    ASSERT_EQ(1u, ReadServerLog(log).size());
    EXPECT_EQ(0u, ReadServerLog(log)[0].find(L"unregister ")) << ReadServerLog(log)[0];
}

// A family ProgID may name another product's class (here one whose ProgID
// is "Other.Grid", whatever its VersionIndependentProgID says): the ProgID
// goes, the class and its file stay. A file two family controls share, its
// path spelt two ways, is neither unregistered nor deleted while the other
// one is installed; the last one's removal takes it. A class whose family
// ProgID key is gone goes with the ProgID that maps to it.
TEST_F(RemovalTest, ClassesAndFilesThatAreNotTheControlsAloneStay)
{
    const wchar_t *grid = L"{0D1E2F30-2222-4a6b-8C7D-0123456789AB}";
    const wchar_t *one = L"{0D1E2F31-2222-4a6b-8C7D-0123456789AB}";
    const wchar_t *two = L"{0D1E2F32-2222-4a6b-8C7D-0123456789AB}";
    const std::wstring gridFile = CopyTestServer(L"grid.ocx");
    const std::wstring shared = CopyTestServer(L"shared.ocx");
    LogServer();
    Own(kCR, L"Other.Grid");
    PlantControl(L"Other.Grid", grid, gridFile);
    Make(kCR, std::wstring(L"CLSID\\") + grid + L"\\ProgID", L"Other.Grid.1");
    Make(kCR, std::wstring(L"CLSID\\") + grid + L"\\VersionIndependentProgID", L"ORVI.Alias");
    Make(kCR, L"ORVI.Alias\\CLSID", grid);
    EXPECT_EQ(UninstallControl(L"ORVI.Alias"), 1);
    EXPECT_FALSE(KeyExists(kCR, L"ORVI.Alias"));
    EXPECT_TRUE(KeyExists(kCR, std::wstring(L"CLSID\\") + grid + L"\\InprocServer32"));
    EXPECT_TRUE(FileExists(gridFile));

    PlantControl(L"ORVI.MultiOne", one, shared);
    const size_t slash = shared.rfind(L'\\');
    PlantControl(L"ORVI.MultiTwo", two, shared.substr(0, slash) + L"\\." + shared.substr(slash));
    Make(kCR, std::wstring(L"CLSID\\") + two + L"\\ProgID", L"ORVI.MultiTwo.1");
    EXPECT_EQ(UninstallControl(L"ORVI.MultiOne"), 1);
    EXPECT_FALSE(KeyExists(kCR, L"ORVI.MultiOne"));
    EXPECT_FALSE(KeyExists(kCR, std::wstring(L"CLSID\\") + one));
    EXPECT_TRUE(KeyExists(kCR, std::wstring(L"CLSID\\") + two));
    EXPECT_TRUE(FileExists(shared));
    EXPECT_TRUE(ReadServerLog(log).empty());
    EXPECT_EQ(UninstallControl(L"ORVI.MultiTwo"), 1);
    EXPECT_FALSE(KeyExists(kCR, std::wstring(L"CLSID\\") + two));
    EXPECT_FALSE(FileExists(shared));
    EXPECT_EQ(1u, ReadServerLog(log).size());

    const std::wstring orphan = CopyTestServer(L"orphan.ocx");
    PlantControl(L"ORVI.Orphan", one, orphan);
    Make(kCR, std::wstring(L"CLSID\\") + one + L"\\ProgID", L"ORVI.Orphan.Ctl.1");
    EXPECT_EQ(UninstallControl(L"ORVI.Orphan"), 1);
    EXPECT_FALSE(KeyExists(kCR, std::wstring(L"CLSID\\") + one));
    EXPECT_FALSE(FileExists(orphan));
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
        const std::vector<std::wstring> before = KeyTreeTexts(watched);

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
        EXPECT_EQ(before, KeyTreeTexts(watched));
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
    std::wstring level = L"\\" + std::wstring(100, L'd');
    std::wstring fits =
        L"OrviDeep" + level + level + level + level + level + L"\\" + std::wstring(5, L'e');
    ASSERT_EQ(fits.size(), 519u);
    Make(kCR, fits);
    Make(kCR, L"OrviDeep\\A");
    EXPECT_NE(DeleteKeyTree(kCR, L"OrviDeep"), 0);
    EXPECT_FALSE(KeyExists(kCR, L"OrviDeep"));

    // One character more: nothing is deleted, not even the branch that the
    // walk would reach first.
    std::wstring tooDeep =
        L"OrviDeeq" + level + level + level + level + level + L"\\" + std::wstring(6, L'e');
    ASSERT_EQ(tooDeep.size(), 520u);
    Make(kCR, tooDeep);
    Make(kCR, L"OrviDeeq\\A");
    ASSERT_TRUE(AreNeighbours(kCR, L"OrviDeeq", L"A", std::wstring(100, L'd')));
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

    Make(kCR, L"OrviValue\\Fits", std::wstring(126, L'v'));
    ReadDefaultValue(L"OrviValue\\Fits", value);
    EXPECT_EQ(std::wstring(value), std::wstring(126, L'v'));

    Make(kCR, L"OrviValue\\TooLong", std::wstring(127, L'w'));
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
    Make(kCR, L"CLSID\\OrviVictim\\Inner\\InprocServer32", dir + L"\\victim-inner.ocx");
    Make(kCR, L"CLSID\\OrviVictim\\InprocServer32", dir + L"\\victim.ocx");
    WriteFileBytes(dir + L"\\victim.ocx", "victim");
    WriteFileBytes(dir + L"\\victim-inner.ocx", "victim inner");
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
    EXPECT_EQ("victim", ReadFileBytes(dir + L"\\victim.ocx"));
    EXPECT_EQ("victim inner", ReadFileBytes(dir + L"\\victim-inner.ocx"));
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
    std::wstring outer = dir + L"\\" + std::wstring(150, L'p');
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
    Make(kCR, garbledClass + L"\\InprocServer32", dir + L"\\garbled.ocx");
    WriteFileBytes(dir + L"\\garbled.ocx", "garbled");
    MakeRaw(kCR, L"ORVI.OddClsid\\CLSID", NULL, clsid + L"控", (DWORD)(clsid.size() * 2 + 1));
    wchar_t value[kDefaultValueSize];
    EXPECT_EQ(0, ReadDefaultValue(L"ORVI.OddClsid\\CLSID", value));
    EXPECT_EQ(L"", std::wstring(value));
    EXPECT_EQ(1, UninstallControl(L"ORVI.OddClsid"));
    EXPECT_FALSE(KeyExists(kCR, L"ORVI.OddClsid"));
    EXPECT_TRUE(KeyExists(kCR, garbledClass));
    EXPECT_EQ("garbled", ReadFileBytes(dir + L"\\garbled.ocx"));

    std::wstring real = dir + L"\\odd控";
    std::wstring garbledFile = dir + L"\\odd\x00A7";
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
