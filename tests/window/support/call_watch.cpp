// Records the tool's registry opens and shell calls. As for the drawing
// objects, this program's own import table is redirected to wrappers that
// call the real functions and note what they were given, so only the code
// linked into this program is seen, never that of the system's DLLs.
#include "window/support/window_support.h"

#include <shellapi.h>

#include <set>

typedef LSTATUS(WINAPI *RegOpenKeyExWFn)(HKEY, LPCWSTR, DWORD, REGSAM, PHKEY);
typedef LSTATUS(WINAPI *RegCloseKeyFn)(HKEY);
typedef HINSTANCE(WINAPI *ShellExecuteWFn)(HWND, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, INT);

static RegOpenKeyExWFn g_regOpenKeyEx;
static RegCloseKeyFn g_regCloseKey;
static ShellExecuteWFn g_shellExecute;

static std::vector<KeyOpenRecord> g_keyOpens;
static std::set<HKEY> g_openKeys;
static std::vector<ShellCallRecord> g_shellCalls;

static LSTATUS WINAPI WatchRegOpenKeyExW(HKEY root, LPCWSTR path, DWORD options, REGSAM access,
                                         PHKEY result)
{
    LSTATUS status = g_regOpenKeyEx(root, path, options, access, result);
    g_keyOpens.push_back({root, path ? path : L"", options, access, status});
    if (status == ERROR_SUCCESS)
        g_openKeys.insert(*result);
    return status;
}

static LSTATUS WINAPI WatchRegCloseKey(HKEY key)
{
    LSTATUS status = g_regCloseKey(key);
    if (status == ERROR_SUCCESS)
        g_openKeys.erase(key);
    return status;
}

static HINSTANCE WINAPI WatchShellExecuteW(HWND owner, LPCWSTR verb, LPCWSTR file,
                                           LPCWSTR parameters, LPCWSTR directory, INT show)
{
    HINSTANCE result = g_shellExecute(owner, verb, file, parameters, directory, show);
    ShellCallRecord r = {};
    r.owner = owner;
    r.verb = verb ? verb : L"<null>";
    r.file = file ? file : L"<null>";
    r.parametersNull = parameters == NULL;
    r.directoryNull = directory == NULL;
    r.show = show;
    r.result = (INT_PTR)result;
    g_shellCalls.push_back(r);
    return result;
}

void StartWatchingCalls()
{
    static bool started = false;
    if (!started) {
        started = true;
        g_regOpenKeyEx = (RegOpenKeyExWFn)RedirectImport("advapi32.dll", "RegOpenKeyExW",
                                                         (void *)&WatchRegOpenKeyExW);
        g_regCloseKey =
            (RegCloseKeyFn)RedirectImport("advapi32.dll", "RegCloseKey", (void *)&WatchRegCloseKey);
        g_shellExecute = (ShellExecuteWFn)RedirectImport("shell32.dll", "ShellExecuteW",
                                                         (void *)&WatchShellExecuteW);
    }
    g_keyOpens.clear();
    g_openKeys.clear();
    g_shellCalls.clear();
}

std::vector<KeyOpenRecord> TakeKeyOpens()
{
    std::vector<KeyOpenRecord> opens;
    opens.swap(g_keyOpens);
    return opens;
}

long KeysLeftOpen()
{
    return (long)g_openKeys.size();
}

std::vector<ShellCallRecord> TakeShellCalls()
{
    std::vector<ShellCallRecord> calls;
    calls.swap(g_shellCalls);
    return calls;
}
