// Row 5: start-up of the tool to the end of its first paint against a minimal
// window program measured the same way, and the tool's peak working set.
#include "bench/bench.h"

#include <psapi.h>

static const int kWindowWidth = 700;
static const int kWindowHeight = 500;
static const DWORD kStartTimeoutMs = 30000;

struct Started {
    PROCESS_INFORMATION process;
    HWND window;
    double ms;
};

struct WindowSearch {
    DWORD processId;
    HWND found;
};

// The process's visible 700 x 500 top-level window of class "window".
static BOOL CALLBACK FindMainWindow(HWND window, LPARAM param)
{
    WindowSearch *search = (WindowSearch *)param;
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != search->processId || !IsWindowVisible(window))
        return TRUE;
    wchar_t cls[32] = {};
    GetClassNameW(window, cls, 32);
    RECT r;
    GetWindowRect(window, &r);
    if (lstrcmpW(cls, L"window") != 0 || r.right - r.left != kWindowWidth ||
        r.bottom - r.top != kWindowHeight)
        return TRUE;
    search->found = window;
    return FALSE;
}

static HWND FindProcessWindow(DWORD processId)
{
    WindowSearch search = {processId, NULL};
    EnumWindows(FindMainWindow, (LPARAM)&search);
    return search.found;
}

// Starts exe and waits until its window is shown and the process has gone
// idle: the first paint of the window and its children is over then.
static bool Start(const std::wstring &exe, Started *started)
{
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    std::wstring line = L"\"" + exe + L"\"";
    *started = {};
    Settle();
    double t0 = NowMs();
    if (!CreateProcessW(NULL, &line[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup,
                        &started->process))
        return false;
    WaitForInputIdle(started->process.hProcess, kStartTimeoutMs);
    for (;;) {
        started->window = FindProcessWindow(started->process.dwProcessId);
        if (started->window || NowMs() - t0 > kStartTimeoutMs)
            break;
        Sleep(1);
    }
    started->ms = NowMs() - t0;
    return started->window != NULL;
}

static void Stop(Started *started)
{
    if (started->window)
        PostMessageW(started->window, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(started->process.hProcess, 10000) != WAIT_OBJECT_0)
        TerminateProcess(started->process.hProcess, 1);
    CloseHandle(started->process.hThread);
    CloseHandle(started->process.hProcess);
    *started = {};
}

static double PeakWorkingSetMb(HANDLE process)
{
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof(counters);
    if (!GetProcessMemoryInfo(process, &counters, sizeof(counters)))
        return 0;
    return counters.PeakWorkingSetSize / 1048576.0;
}

static std::wstring ToolPath()
{
    return TestProgramDir() + L"\\OrviActiveX.exe";
}

void RunStartupRows()
{
    const int runs = RunCount();
    std::wstring minimal = TestProgramDir() + L"\\minimal_window.exe";
    std::vector<double> tool, reference, toolMemory, referenceMemory;
    bool failed = false;
    // The first round loads the programs into the file cache and is not
    // counted. The two take turns at starting first.
    for (int r = 0; r <= runs; r++) {
        double toolMs = 0, toolMb = 0, referenceMs = 0, referenceMb = 0;
        for (int turn = 0; turn < 2; turn++) {
            bool isTool = (turn == 0) == (r % 2 == 0);
            Started started;
            if (!Start(isTool ? ToolPath() : minimal, &started))
                failed = true;
            (isTool ? toolMs : referenceMs) = started.ms;
            (isTool ? toolMb : referenceMb) = PeakWorkingSetMb(started.process.hProcess);
            Stop(&started);
        }
        if (r == 0)
            continue;
        tool.push_back(toolMs);
        reference.push_back(referenceMs);
        toolMemory.push_back(toolMb);
        referenceMemory.push_back(referenceMb);
    }
    ShowSamples("start-up tool", tool);
    ShowSamples("start-up reference", reference);
    AddRow(
        {"5 Start-up", "to first paint", Median(tool), Median(reference), "ms",
         "OrviActiveX.exe vs a minimal 700 x 500 window program (process start to idle after painting)",
         failed});
    AddRow({"5 Peak working set", "after start-up", Median(toolMemory), Median(referenceMemory),
            "MB", "OrviActiveX.exe vs the minimal program", failed || Median(toolMemory) <= 0});
}

static HWND FindQueryButton(HWND window)
{
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        wchar_t cls[32] = {}, text[32] = {};
        GetClassNameW(child, cls, 32);
        GetWindowTextW(child, text, 32);
        if (lstrcmpiW(cls, L"Button") == 0 && lstrcmpW(text, L"查询安装") == 0)
            return child;
    }
    return NULL;
}

static HWND FindList(HWND window)
{
    return FindWindowExW(window, NULL, L"ListBox", NULL);
}

// The tool started afresh; its query button pressed (by the command the
// button sends) with the extra keys in place.
void RunQueryMemoryRow(long extraKeys)
{
    const int runs = RunCount();
    std::vector<double> before, after;
    bool failed = false;
    for (int r = 0; r < runs; r++) {
        Started started;
        if (!Start(ToolPath(), &started)) {
            failed = true;
            Stop(&started);
            continue;
        }
        before.push_back(PeakWorkingSetMb(started.process.hProcess));
        HWND button = FindQueryButton(started.window);
        DWORD_PTR result = 0;
        if (!button || !SendMessageTimeoutW(started.window, WM_COMMAND, MAKEWPARAM(0, BN_CLICKED),
                                            (LPARAM)button, SMTO_NORMAL, 60000, &result))
            failed = true;
        HWND list = FindList(started.window);
        if (!list || SendMessageW(list, LB_GETCOUNT, 0, 0) != extraKeys / 100)
            failed = true;
        after.push_back(PeakWorkingSetMb(started.process.hProcess));
        Stop(&started);
    }
    AddRow({"5 Peak working set", "after query, +" + Thousands(extraKeys) + " keys", Median(after),
            Median(before), "MB", "OrviActiveX.exe after a query vs the same right after start-up",
            failed});
}
