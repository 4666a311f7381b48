// Minimal in-process COM server used only by the test suite.
//
// It has no real COM class; it exists so the tests can drive genuine
// DllRegisterServer / DllUnregisterServer calls (through regsvr32 or the
// tool under test) and then check the registry. Every knob is read from
// the environment at call time, because regsvr32 inherits the environment
// of whoever starts it and a test can therefore steer one invocation
// without rebuilding the DLL.
//
//   ORVI_TEST_PROGID    ProgID to register      (default ORVI.TestCtl)
//   ORVI_TEST_CLSID     CLSID text               (default kTestServerClsid)
//   ORVI_TEST_TYPELIB   type library GUID text   (default kTestServerTypeLib)
//   ORVI_TEST_IID       interface GUID text      (default kTestServerIid)
//   ORVI_TEST_FAIL      "register", "unregister" or "all": make that call fail
//   ORVI_TEST_LOG       file that gets one UTF-8 line per call
//   ORVI_TEST_LOAD_LOG  file that gets a line "load <module path>" whenever a
//                       process loads this DLL (under any name)
//   ORVI_TEST_SLEEP_MS  delay before doing anything, to simulate a slow server
//   ORVI_TEST_KILL_PARENT  "unregister": DllUnregisterServer first ends the
//                       process that started this one (the registrar's
//                       parent: the tool), as a crash in the middle of a
//                       removal would, between its keys and its file

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef UNICODE
#define UNICODE
#endif
#ifndef _UNICODE
#define _UNICODE
#endif

#include <windows.h>
#include <objbase.h>
#include <olectl.h>
#include <tlhelp32.h>

#include <cwchar>
#include <string>
#include <vector>

#include "../support/test_constants.h"

namespace {

HINSTANCE g_module = nullptr;

// Returns the variable's value, or an empty string when it is unset or
// empty; callers treat both the same so "VAR=" behaves like "unset".
std::wstring GetEnv(const wchar_t *name)
{
    std::vector<wchar_t> buf(256);
    for (;;) {
        DWORD n = GetEnvironmentVariableW(name, buf.data(), static_cast<DWORD>(buf.size()));
        if (n == 0)
            return std::wstring();
        // On success n excludes the terminator; on a too-small buffer it
        // is the required size including it.
        if (n < buf.size())
            return std::wstring(buf.data(), n);
        buf.resize(n);
    }
}

std::wstring GetEnvOr(const wchar_t *name, const wchar_t *fallback)
{
    std::wstring v = GetEnv(name);
    return v.empty() ? std::wstring(fallback) : v;
}

// Full path of this DLL as the loader reports it; paths may exceed
// MAX_PATH, so grow until the result is not truncated.
std::wstring ModulePath()
{
    std::vector<wchar_t> buf(MAX_PATH);
    for (;;) {
        DWORD n = GetModuleFileNameW(g_module, buf.data(), static_cast<DWORD>(buf.size()));
        if (n == 0)
            return std::wstring();
        if (n < buf.size())
            return std::wstring(buf.data(), n);
        if (buf.size() >= 32768)
            return std::wstring(buf.data(), n);
        buf.resize(buf.size() * 2);
    }
}

std::string ToUtf8(const std::wstring &w)
{
    if (w.empty())
        return std::string();
    int len = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0,
                                  nullptr, nullptr);
    if (len <= 0)
        return std::string();
    std::string out(static_cast<size_t>(len), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), &out[0], len, nullptr,
                        nullptr);
    return out;
}

// Appends "<verb> <module path>\n" to the log the variable names. The file
// is opened and closed on every call (and shared for read/write) so a test
// can read it at any moment and several processes can append to the same
// log without clobbering it.
void LogTo(const wchar_t *variable, const char *verb)
{
    std::wstring path = GetEnv(variable);
    if (path.empty())
        return;
    HANDLE h = CreateFileW(path.c_str(), FILE_APPEND_DATA,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return;
    std::string line = std::string(verb) + " " + ToUtf8(ModulePath()) + "\n";
    DWORD written = 0;
    WriteFile(h, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    CloseHandle(h);
}

void SleepIfAsked()
{
    std::wstring v = GetEnv(L"ORVI_TEST_SLEEP_MS");
    if (v.empty())
        return;
    unsigned long ms = std::wcstoul(v.c_str(), nullptr, 10);
    if (ms > 0)
        Sleep(static_cast<DWORD>(ms));
}

// "all" fails both entry points; anything else only the one it names.
bool ShouldFail(const wchar_t *which)
{
    std::wstring v = GetEnv(L"ORVI_TEST_FAIL");
    if (v.empty())
        return false;
    return lstrcmpiW(v.c_str(), which) == 0 || lstrcmpiW(v.c_str(), L"all") == 0;
}

struct Names {
    std::wstring progId;
    std::wstring clsid;
    std::wstring typeLib;
    std::wstring iid;
};

Names ReadNames()
{
    Names n;
    n.progId = GetEnvOr(L"ORVI_TEST_PROGID", kTestServerProgId);
    n.clsid = GetEnvOr(L"ORVI_TEST_CLSID", kTestServerClsid);
    n.typeLib = GetEnvOr(L"ORVI_TEST_TYPELIB", kTestServerTypeLib);
    n.iid = GetEnvOr(L"ORVI_TEST_IID", kTestServerIid);
    return n;
}

// Creates HKCR\<subkey> and sets one REG_SZ value (nullptr name = default).
// Uses the process's default registry view on purpose: the tests check
// that 32- and 64-bit servers land where Windows would put them.
LONG SetString(const std::wstring &subkey, const wchar_t *name, const std::wstring &value)
{
    HKEY key = nullptr;
    LONG rc = RegCreateKeyExW(HKEY_CLASSES_ROOT, subkey.c_str(), 0, nullptr,
                              REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr, &key, nullptr);
    if (rc != ERROR_SUCCESS)
        return rc;
    // REG_SZ sizes are in bytes and include the terminating NUL.
    DWORD bytes = static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t));
    rc = RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE *>(value.c_str()), bytes);
    RegCloseKey(key);
    return rc;
}

// Deletes HKCR\<subkey> and everything below it; a key that is already
// gone counts as success so unregistering twice is harmless.
LONG DeleteTree(const std::wstring &subkey)
{
    LONG rc = RegDeleteTreeW(HKEY_CLASSES_ROOT, subkey.c_str());
    if (rc == ERROR_FILE_NOT_FOUND || rc == ERROR_PATH_NOT_FOUND)
        return ERROR_SUCCESS;
    return rc;
}

// Removes HKCR\<subkey> only if it has no subkeys and no values, so we
// tidy up the TypeLib\{guid} parent we created implicitly without
// destroying other versions someone else registered under it.
void DeleteIfEmpty(const std::wstring &subkey)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, subkey.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return;
    DWORD subkeys = 0;
    DWORD values = 0;
    LONG rc = RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values,
                               nullptr, nullptr, nullptr, nullptr);
    RegCloseKey(key);
    if (rc == ERROR_SUCCESS && subkeys == 0 && values == 0)
        RegDeleteKeyW(HKEY_CLASSES_ROOT, subkey.c_str());
}

// What every entry point does first, as its environment asks: wait, log the
// call, and say whether to fail it.
bool CallFails(const char *verb, const wchar_t *which)
{
    SleepIfAsked();
    LogTo(L"ORVI_TEST_LOG", verb);
    return ShouldFail(which);
}

// Ends the parent of this process when the environment asks for it at this
// entry point, and waits until it is gone.
void KillParentIfAsked(const wchar_t *which)
{
    if (lstrcmpiW(GetEnv(L"ORVI_TEST_KILL_PARENT").c_str(), which) != 0)
        return;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    DWORD parent = 0;
    for (BOOL more = Process32FirstW(snapshot, &entry); more;
         more = Process32NextW(snapshot, &entry)) {
        if (entry.th32ProcessID == GetCurrentProcessId())
            parent = entry.th32ParentProcessID;
    }
    CloseHandle(snapshot);
    HANDLE process = parent ? OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, parent) : nullptr;
    if (!process)
        return;
    TerminateProcess(process, 9);
    WaitForSingleObject(process, 10000);
    CloseHandle(process);
}

HRESULT FromWin32(LONG rc)
{
    return rc == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(static_cast<DWORD>(rc));
}

} // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) {
        g_module = instance;
        LogTo(L"ORVI_TEST_LOAD_LOG", "load");
    }
    return TRUE;
}

STDAPI DllRegisterServer()
{
    if (CallFails("register", L"register"))
        return E_FAIL;

    const Names n = ReadNames();
    const std::wstring clsidKey = L"CLSID\\" + n.clsid;
    const std::wstring path = ModulePath();
    if (path.empty())
        return SELFREG_E_CLASS;

    struct Entry {
        std::wstring key;
        const wchar_t *name;
        std::wstring value;
    };
    const Entry entries[] = {
        {n.progId, nullptr, L"Orvi test control"},
        {n.progId + L"\\CLSID", nullptr, n.clsid},
        {clsidKey, nullptr, L"Orvi test control"},
        {clsidKey + L"\\InprocServer32", nullptr, path},
        {clsidKey + L"\\InprocServer32", L"ThreadingModel", L"Apartment"},
        {clsidKey + L"\\ProgID", nullptr, n.progId},
        {clsidKey + L"\\TypeLib", nullptr, n.typeLib},
        {L"TypeLib\\" + n.typeLib + L"\\1.0", nullptr, L"Orvi test control library"},
        {L"Interface\\" + n.iid, nullptr, L"IOrviTest"},
        {L"Interface\\" + n.iid + L"\\TypeLib", nullptr, n.typeLib},
    };
    for (const Entry &e : entries) {
        LONG rc = SetString(e.key, e.name, e.value);
        if (rc != ERROR_SUCCESS)
            return FromWin32(rc);
    }
    return S_OK;
}

STDAPI DllUnregisterServer()
{
    KillParentIfAsked(L"unregister");
    if (CallFails("unregister", L"unregister"))
        return E_FAIL;

    const Names n = ReadNames();
    const std::wstring typeLibKey = L"TypeLib\\" + n.typeLib;
    const std::wstring keys[] = {
        n.progId,
        L"CLSID\\" + n.clsid,
        typeLibKey + L"\\1.0",
        L"Interface\\" + n.iid,
    };
    // Try every key even after an error so one stuck key does not leave
    // the rest behind; missing keys are not errors.
    LONG firstError = ERROR_SUCCESS;
    for (const std::wstring &k : keys) {
        LONG rc = DeleteTree(k);
        if (rc != ERROR_SUCCESS && firstError == ERROR_SUCCESS)
            firstError = rc;
    }
    DeleteIfEmpty(typeLibKey);
    return FromWin32(firstError);
}

STDAPI DllGetClassObject(REFCLSID, REFIID, LPVOID *ppv)
{
    // No class is actually served; tests only need registration.
    if (ppv)
        *ppv = nullptr;
    return CLASS_E_CLASSNOTAVAILABLE;
}

STDAPI DllCanUnloadNow()
{
    return S_OK;
}
