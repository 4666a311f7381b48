// Row 6: the reason of a failed registration. A failed drop on the window,
// which now says why, against the same drop without the reason (the
// registrar's two runs and the two edits' texts, all the window did before);
// the notes give the diagnosis's own time. Two files: the test control needing a DLL the
// machine lacks, and a crafted 20 MB DLL of 65,535 section headers whose
// import directory runs to the end of the file, every entry naming a DLL
// that is found, so the walk is as long as the diagnosis lets it be.
#include "bench/bench.h"

#include "app/app.h"
#include "register/register.h"
#include "support/pe_maker.h"
#include "window/support/window_support.h"

static const size_t kCraftedBytes = 20 * 1024 * 1024;

struct FailedFile {
    std::string size; // the row's size column
    std::wstring path;
    std::wstring reason; // what the report must say
};

// One failed drop with its reason; false when the report does not give it.
static bool TimeFailedDrop(HWND window, const FailedFile &file, double *ms)
{
    double start = NowMs();
    SendDrop(window, {file.path});
    *ms = NowMs() - start;
    std::wstring report = WindowText(g_infoEdit);
    return report == L"拖入文件路径：" + file.path + L"\r\n失败原因：" + file.reason +
                         L"\r\n注册状态：文件注册失败！";
}

// The same drop without the reason; false when the registration did not fail.
static bool TimeDropWithoutReason(const FailedFile &file, double *ms)
{
    DWORD exitCode;
    double start = NowMs();
    SetWindowTextW(g_pathEdit, file.path.c_str());
    int ok = RegisterControlFileForExit(file.path.c_str(), &exitCode);
    std::wstring report = L"拖入文件路径：" + file.path + L"\r\n注册状态：文件注册失败！";
    SetWindowTextW(g_infoEdit, report.c_str());
    *ms = NowMs() - start;
    return ok == 0;
}

// The diagnosis alone, in microseconds: the median of many runs.
static double DiagnosisMicroseconds(const FailedFile &file, bool *right)
{
    DWORD exitCode;
    RegisterControlFileForExit(file.path.c_str(), &exitCode);
    std::vector<double> samples;
    wchar_t reason[kReasonChars] = {};
    for (int i = 0; i < 4 * RunCount() + 1; i++) {
        double start = NowMs();
        DiagnoseRegistration(file.path.c_str(), exitCode, reason, kReasonChars);
        samples.push_back((NowMs() - start) * 1000);
    }
    *right = file.reason == reason;
    ShowSamples("diagnosis of " + file.size, samples);
    return Median(samples);
}

static void RunOne(HWND window, const FailedFile &file)
{
    const int runs = RunCount();
    std::vector<double> tool, reference;
    bool failed = false;
    for (int r = 0; r <= runs; r++) {
        double toolMs = 0, referenceMs = 0;
        for (int turn = 0; turn < 2; turn++) {
            if ((turn == 0) == (r % 2 == 0))
                failed |= !TimeFailedDrop(window, file, &toolMs);
            else
                failed |= !TimeDropWithoutReason(file, &referenceMs);
            Settle();
        }
        // The first round reads the file into the cache and is not counted.
        if (r == 0)
            continue;
        tool.push_back(toolMs);
        reference.push_back(referenceMs);
        Progress("reason: %s, run %d of %d: drop with reason %.0f ms, without %.0f ms",
                 file.size.c_str(), r, runs, toolMs, referenceMs);
    }
    bool right = false;
    double diagnosis = DiagnosisMicroseconds(file, &right);
    failed |= !right;
    AddRow({"6 Failure reason", file.size, Median(tool), Median(reference), "ms",
            "failed drop with its reason vs without it; the diagnosis itself " +
                Fixed(diagnosis / 1000, 2) + " ms",
            failed});
}

void RunDiagnosisRows(HWND window)
{
    std::wstring dir = MakeScratchDir(L"bench-reason");
    FailedFile needy = {"test control, missing mfc42.dll", dir + L"\\needy.ocx",
                        L"找不到它需要的DLL：mfc42.dll"};
    WriteFileBytes(needy.path, ReplaceBytes(ReadFileBytes(TestServerPath()), "ADVAPI32.dll",
                                            std::string("mfc42.dll\0\0\0", 12)));
    PeLayout layout;
    layout.extraSections = 65534;
    layout.fileSize = kCraftedBytes;
    FailedFile crafted = {"crafted 20 MB, 65,535 sections", dir + L"\\crafted.dll", L"无法加载"};
    WriteFileBytes(crafted.path, MakePeDll(layout));
    RunOne(window, needy);
    RunOne(window, crafted);
    RemoveTree(dir);
}
