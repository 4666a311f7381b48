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

bool StartClockingRegistrar()
{
    if (!g_shellExecuteEx) {
        g_shellExecuteEx = (ShellExecuteExWFn)RedirectImport("shell32.dll", "ShellExecuteExW",
                                                             (void *)&ClockShellExecuteExW);
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
