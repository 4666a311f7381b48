// The keys and files a test makes around its controls, and their removal.
#include "support/test_support.h"

#include "register/register.h"

static const wchar_t *const kServerEnvironment[] = {
    L"ORVI_TEST_LOG",     L"ORVI_TEST_FAIL", L"ORVI_TEST_PROGID",   L"ORVI_TEST_CLSID",
    L"ORVI_TEST_TYPELIB", L"ORVI_TEST_IID",  L"ORVI_TEST_SLEEP_MS", L"ORVI_TEST_KILL_PARENT"};

static void ClearServerEnvironment()
{
    for (const wchar_t *name : kServerEnvironment)
        SetEnv(name, NULL);
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

// Created rather than opened, so a test that watches the tool's opens sees none of these.
static void SetNewValue(HKEY root, const std::wstring &path, const wchar_t *name, DWORD type,
                        const std::wstring &data, DWORD bytes, REGSAM view)
{
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(root, path.c_str(), 0, NULL, 0, KEY_ALL_ACCESS | view,
                                             NULL, &key, NULL))
        << path;
    LSTATUS set = RegSetValueExW(key, name, 0, type, (const BYTE *)data.c_str(), bytes);
    RegCloseKey(key);
    ASSERT_EQ(ERROR_SUCCESS, set) << path;
}

static DWORD TextBytes(const std::wstring &text)
{
    return (DWORD)((text.size() + 1) * sizeof(wchar_t));
}

void ControlScene::BeginScene(const wchar_t *scratchName)
{
    hadMachineWow6432Node = KeyExists(HKEY_LOCAL_MACHINE, L"Wow6432Node");
    hadCodeStore[0] = KeyExists(HKEY_LOCAL_MACHINE, kCodeStore);
    hadCodeStore[1] = KeyExists(HKEY_LOCAL_MACHINE, kCodeStoreWow);
    UseWow64Column(ProcessIsWow64());
    ClearServerEnvironment();
    RemoveFamilyKeys();
    dir = MakeScratchDir(scratchName);
    log = dir + L"\\server.log";
}

void ControlScene::ReleaseGuards()
{
    ReleaseHeldFile(holder);
    holder = NULL;
    for (const KeyName &k : links)
        DeleteLinkKey(k.first, k.second);
    links.clear();
    for (const KeyName &k : protectedKeys)
        OpenUp(k.first, k.second);
    protectedKeys.clear();
}

void ControlScene::EndScene()
{
    ReleaseGuards();
    ClearServerEnvironment();
    for (auto it = owned.rbegin(); it != owned.rend(); ++it)
        DeleteTree(it->root, it->path, it->view);
    owned.clear();
    RemoveFamilyKeys();
    if (!hadCodeStore[0])
        DeleteTree(HKEY_LOCAL_MACHINE, kCodeStore);
    if (!hadCodeStore[1])
        DeleteTree(HKEY_LOCAL_MACHINE, kCodeStoreWow);
    if (!hadMachineWow6432Node)
        DeleteTree(HKEY_LOCAL_MACHINE, L"Wow6432Node");
    UseWow64Column(ProcessIsWow64());
    RemoveTree(dir);
}

void ControlScene::Own(HKEY root, const std::wstring &path, REGSAM view)
{
    owned.push_back(OwnedKey{root, path, view});
}

void ControlScene::Make(HKEY root, const std::wstring &path, const std::wstring &value, REGSAM view,
                        Caller)
{
    MakeRaw(root, path, NULL, value, TextBytes(value), view);
}

void ControlScene::MakeRaw(HKEY root, const std::wstring &path, const wchar_t *name,
                           const std::wstring &data, DWORD bytes, REGSAM view, Caller)
{
    Own(root, path, view);
    SetNewValue(root, path, name, REG_SZ, data, bytes, view);
}

void ControlScene::MakeDword(HKEY root, const std::wstring &path, const wchar_t *name, DWORD value,
                             REGSAM view, Caller)
{
    Own(root, path, view);
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(root, path.c_str(), 0, NULL, 0, KEY_ALL_ACCESS | view,
                                             NULL, &key, NULL))
        << path;
    LSTATUS set = RegSetValueExW(key, name, 0, REG_DWORD, (const BYTE *)&value, sizeof(value));
    RegCloseKey(key);
    ASSERT_EQ(ERROR_SUCCESS, set) << path;
}

void ControlScene::MakeEmpty(HKEY root, const std::wstring &path, Caller)
{
    Own(root, path);
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExW(root, path.c_str(), 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key, NULL));
    RegCloseKey(key);
}

void ControlScene::Record(const std::wstring &clsid, bool wow, const wchar_t *subkey,
                          const wchar_t *name, const std::wstring &value, REGSAM view, Caller)
{
    if (wow)
        view = KEY_WOW64_32KEY;
    Own(HKEY_LOCAL_MACHINE, UnitKey(false, clsid), view);
    MakeRaw(HKEY_LOCAL_MACHINE, UnitKey(false, clsid) + L"\\" + subkey, name, value,
            TextBytes(value), view);
}

void ControlScene::MakeLink(HKEY root, const std::wstring &path, const std::wstring &target, Caller)
{
    links.push_back(KeyName(root, path));
    HKEY key;
    ASSERT_EQ(RegCreateKeyExW(root, path.c_str(), 0, NULL, REG_OPTION_CREATE_LINK, KEY_ALL_ACCESS,
                              NULL, &key, NULL),
              ERROR_SUCCESS);
    // A 32-bit process's HKLM\Software is the 32-bit view, and a link
    // names the raw path, so it must name Wow6432Node itself.
    std::wstring name = L"\\REGISTRY\\MACHINE\\" + target;
    if (ProcessIsWow64() && target.rfind(L"Software\\", 0) == 0)
        name = L"\\REGISTRY\\MACHINE\\Software\\Wow6432Node\\" + target.substr(9);
    LSTATUS set = RegSetValueExW(key, L"SymbolicLinkValue", 0, REG_LINK, (const BYTE *)name.c_str(),
                                 (DWORD)(name.size() * sizeof(wchar_t)));
    RegCloseKey(key);
    ASSERT_EQ(set, ERROR_SUCCESS);
}

void ControlScene::Protect(HKEY root, const std::wstring &path, DWORD deny, Caller)
{
    protectedKeys.push_back(KeyName(root, path));
    SetKeyDacl(root, path, deny);
}

void ControlScene::OpenUp(HKEY root, const std::wstring &path)
{
    HKEY key;
    if (RegOpenKeyExW(root, path.c_str(), 0, WRITE_DAC, &key) != ERROR_SUCCESS)
        return;
    RegCloseKey(key);
    SetKeyDacl(root, path, 0);
}

void ControlScene::PlantControl(const std::wstring &progId, const std::wstring &clsid,
                                const std::wstring &server, bool wow, DWORD type, Caller)
{
    const std::wstring classKey = (wow ? L"Wow6432Node\\CLSID\\" : L"CLSID\\") + clsid;
    Make(HKEY_CLASSES_ROOT, progId + L"\\CLSID", clsid);
    Own(HKEY_CLASSES_ROOT, classKey);
    SetNewValue(HKEY_CLASSES_ROOT, classKey + L"\\InprocServer32", NULL, type, server,
                TextBytes(server), 0);
}

std::wstring ControlScene::MakeServerFile(const std::wstring &name, Caller)
{
    std::wstring path = InDir(name);
    WriteFileBytes(path, "not a real server");
    EXPECT_TRUE(FileExists(path));
    return path;
}

std::wstring ControlScene::Control(const std::wstring &progId, const std::wstring &clsid,
                                   const std::wstring &fileName, Caller)
{
    std::wstring server = MakeServerFile(fileName);
    PlantControl(progId, clsid, server);
    return server;
}

std::wstring ControlScene::CopyTestServer(const std::wstring &name, Caller)
{
    std::wstring path = InDir(name);
    EXPECT_TRUE(CopyFileW(TestServerPath().c_str(), path.c_str(), FALSE)) << path.size();
    return path;
}

std::wstring ControlScene::RegisterServer(const std::wstring &name, Caller)
{
    std::wstring path = CopyTestServer(name);
    EXPECT_EQ(1, RegisterControlFile(path.c_str()));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, kTestServerProgId));
    DeleteFileW(log.c_str());
    return path;
}

void ControlScene::LogServer()
{
    SetEnv(L"ORVI_TEST_LOG", log.c_str());
}
