// Times the registrar runs inside the tool's own removals: this program's
// imports of ShellExecuteExW and GetExitCodeProcess (the tool's code is linked
// in) are redirected to wrappers that note the time from the start of a run
// to the reading of its exit code, which follows the wait for its end.
#include "bench/bench.h"

#include <shellapi.h>

typedef BOOL(WINAPI *ShellExecuteExWFn)(SHELLEXECUTEINFOW *);
typedef BOOL(WINAPI *GetExitCodeProcessFn)(HANDLE, LPDWORD);

static ShellExecuteExWFn g_shellExecuteEx;
static GetExitCodeProcessFn g_getExitCode;
static double g_runStarted;
static double g_registrarMs;

static BOOL WINAPI ClockShellExecuteExW(SHELLEXECUTEINFOW *info)
{
    g_runStarted = NowMs();
    return g_shellExecuteEx(info);
}

static BOOL WINAPI ClockGetExitCodeProcess(HANDLE process, LPDWORD code)
{
    BOOL result = g_getExitCode(process, code);
    if (g_runStarted) {
        g_registrarMs += NowMs() - g_runStarted;
        g_runStarted = 0;
    }
    return result;
}

// Replaces the import of function from dll in this program's import table;
// returns the real function.
static void *RedirectImport(const char *dll, const char *function, void *wrapper)
{
    BYTE *base = (BYTE *)GetModuleHandleW(NULL);
    IMAGE_NT_HEADERS *nt = (IMAGE_NT_HEADERS *)(base + ((IMAGE_DOS_HEADER *)base)->e_lfanew);
    IMAGE_DATA_DIRECTORY dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    void *target = (void *)GetProcAddress(LoadLibraryA(dll), function);
    for (IMAGE_IMPORT_DESCRIPTOR *d = (IMAGE_IMPORT_DESCRIPTOR *)(base + dir.VirtualAddress); d->Name; d++) {
        if (lstrcmpiA((const char *)(base + d->Name), dll) != 0)
            continue;
        for (IMAGE_THUNK_DATA *t = (IMAGE_THUNK_DATA *)(base + d->FirstThunk); t->u1.Function; t++) {
            if ((void *)t->u1.Function != target)
                continue;
            DWORD old;
            VirtualProtect(&t->u1.Function, sizeof(t->u1.Function), PAGE_READWRITE, &old);
            t->u1.Function = (ULONG_PTR)wrapper;
            VirtualProtect(&t->u1.Function, sizeof(t->u1.Function), old, &old);
        }
    }
    return target;
}

bool StartClockingRegistrar()
{
    if (!g_shellExecuteEx) {
        g_shellExecuteEx =
            (ShellExecuteExWFn)RedirectImport("shell32.dll", "ShellExecuteExW", (void *)&ClockShellExecuteExW);
        g_getExitCode = (GetExitCodeProcessFn)RedirectImport("kernel32.dll", "GetExitCodeProcess",
                                                             (void *)&ClockGetExitCodeProcess);
    }
    g_runStarted = 0;
    g_registrarMs = 0;
    return g_shellExecuteEx && g_getExitCode;
}

double TakeRegistrarMs()
{
    double ms = g_registrarMs;
    g_registrarMs = 0;
    return ms;
}
