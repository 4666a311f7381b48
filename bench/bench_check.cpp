// Row 7: orvictl check of 100 installed controls against orvictl list of
// the same 100, both as the processes a script starts, output to NUL.
#include "bench.h"

#include "support/test_support.h"

static const int kCheckedControls = 100;

// Runs orvictl.exe with arguments, its output to NUL; its time in ms, -1
// when it did not run or gave another exit code than wanted.
static double TimeOrvictl(const wchar_t *arguments, DWORD wanted)
{
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), NULL, TRUE};
    HANDLE nul = CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                             OPEN_EXISTING, 0, NULL);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = nul;
    startup.hStdError = nul;
    std::wstring line = L"\"" + TestProgramDir() + L"\\orvictl.exe\" " + arguments;
    PROCESS_INFORMATION process = {};
    double start = NowMs();
    BOOL started = CreateProcessW(NULL, &line[0], NULL, NULL, TRUE, CREATE_NO_WINDOW, NULL, NULL,
                                  &startup, &process);
    CloseHandle(nul);
    if (!started)
        return -1;
    WaitForSingleObject(process.hProcess, 60000);
    double ms = NowMs() - start;
    DWORD code = 1000;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code == wanted ? ms : -1;
}

void RunCheckRow()
{
    std::wstring scratch = MakeScratchDir(L"bench check");
    std::vector<std::wstring> progIds;
    bool ok = true;
    for (int i = 0; i < kCheckedControls; i++) {
        wchar_t name[32];
        swprintf(name, 32, L"ORVI.BenchCheck%03d", i);
        std::wstring clsid = GuidText(0xB0C30000 + i, 0x7C7C, 0x4e5f, 0x9A0B1C2D3E4FULL + i);
        std::wstring server = scratch + L"\\" + name + L".ocx";
        ok = ok && CreateKey(HKEY_CLASSES_ROOT, std::wstring(name) + L"\\CLSID", clsid.c_str()) &&
             CreateKey(HKEY_CLASSES_ROOT, L"CLSID\\" + clsid + L"\\InprocServer32",
                       server.c_str()) &&
             CopyFileW(TestServerPath().c_str(), server.c_str(), FALSE);
        progIds.push_back(name);
        progIds.push_back(L"CLSID\\" + clsid);
    }
    std::vector<double> checks, lists;
    bool failed = !ok;
    for (int run = 0; run < RunCount() && !failed; run++) {
        // Each goes first in turn.
        for (int side = 0; side < 2; side++) {
            Settle();
            bool check = (run + side) % 2 == 0;
            double ms = check ? TimeOrvictl(L"check", 0) : TimeOrvictl(L"list", 0);
            failed = failed || ms < 0;
            (check ? checks : lists).push_back(ms);
        }
    }
    ShowSamples("check", checks);
    ShowSamples("list", lists);
    for (const std::wstring &key : progIds)
        DeleteTree(HKEY_CLASSES_ROOT, key);
    RemoveTree(scratch);
    double tool = failed ? 0 : Median(checks);
    double reference = failed ? 0 : Median(lists);
    AddRow({"7 Check", "100 controls", tool, reference, "ms",
            "orvictl check against orvictl list of the same 100 ready controls (list now "
            "checks readiness too, for its mark); goal ratio <= 1.5: " +
                std::string(!failed && tool <= 1.5 * reference ? "met" : "NOT MET"),
            failed});
}
