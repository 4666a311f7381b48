// The benchmark program: measures the tool's operations against references
// measured in the same run and prints one table. Run by scripts/benchmark.sh
// in a Wine prefix of its own; it is not a test and ctest does not run it.
//
//   orvi_bench.exe --make-cabinet PATH   writes the cabinet of row 4 and ends
//   orvi_bench.exe --cabinet PATH        runs every row and prints the table
//
// ORVI_BENCH_ROWS ("123456" by default) picks the rows; ORVI_BENCH_RUNS (at least 5) sets the runs per row; ORVI_BENCH_CABEXTRACT_MS
// and ORVI_BENCH_I686_EXE_BYTES carry the figures the script measured outside
// Wine into the table.
#include "bench/bench.h"

#include "window/support/window_support.h"

#include <stdio.h>
#include <string.h>

static std::wstring WindowsPath(const char *argument)
{
    std::wstring path;
    for (const char *p = argument; *p; p++)
        path += *p == '/' ? L'\\' : (wchar_t)(unsigned char)*p;
    return path;
}

static bool Wanted(char row)
{
    std::wstring rows = EnvText(L"ORVI_BENCH_ROWS");
    return rows.empty() || rows.find((wchar_t)row) != std::wstring::npos;
}

static void AddExeSizeRow()
{
    std::wstring bytes = EnvText(L"ORVI_BENCH_I686_EXE_BYTES");
    if (bytes.empty())
        return;
    double kb = _wtof(bytes.c_str()) / 1024;
    AddRow(
        {"5 Exe size", "i686 release", kb, 0, "KB",
         "OrviActiveX.exe as shipped (32-bit, statically linked runtime, stripped); goal ≤ 150 KB: " +
             std::string(kb <= 150 ? "met" : "NOT MET"),
         false});
}

int main(int argc, char **argv)
{
    if (argc == 3 && strcmp(argv[1], "--make-cabinet") == 0)
        return MakeBenchCabinet(WindowsPath(argv[2])) ? 0 : 1;
    if (argc != 3 || strcmp(argv[1], "--cabinet") != 0) {
        fprintf(stderr, "usage: orvi_bench.exe --make-cabinet PATH | --cabinet PATH\n");
        return 2;
    }
    std::wstring cabinet = WindowsPath(argv[2]);
    double start = NowMs();
    StartAnsweringBoxes();

    // Start-up first, while the registry is as the prefix made it.
    if (Wanted('5')) {
        Progress("start-up rows");
        RunStartupRows();
    }
    HWND window = StartMainWindow();
    if (Wanted('1') || Wanted('5')) {
        Progress("query rows");
        RunQueryRows(Wanted('1'), Wanted('5'));
    }
    if (Wanted('2')) {
        Progress("removal rows");
        RunRemovalRows();
    }
    if (Wanted('3')) {
        Progress("uninstall-all row");
        RunUninstallAllRow(window);
    }
    if (Wanted('4')) {
        Progress("cabinet row");
        RunCabinetRow(cabinet);
    }
    if (Wanted('6')) {
        Progress("failure reason rows");
        RunDiagnosisRows(window);
    }
    if (Wanted('7')) {
        Progress("check row");
        RunCheckRow();
    }
    CloseMainWindow(window);
    StopAnsweringBoxes();
    // Measured by the script, so it comes with any choice of rows.
    AddExeSizeRow();

    SortRows();
    printf("Orvi ActiveX benchmark: median of %d runs per figure, %s (%.0f s)\n\n", RunCount(),
           sizeof(void *) == 4
               ? "i686 (WoW64): the i686 build as a 32-bit process on 64-bit Windows under wine64"
               : "x86_64 build under wine64",
           (NowMs() - start) / 1000);
    PrintTable();
    return TableFailed() ? 1 : 0;
}
