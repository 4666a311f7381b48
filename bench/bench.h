// Shared pieces of the benchmark program: timing, medians, the table, and
// the registry and file set-up the rows need. Not a test: it measures.
#pragma once

#include <windows.h>

#include "support/test_support.h"

#include <string>
#include <vector>

// ---- timing --------------------------------------------------------------------
double NowMs();
double Median(std::vector<double> values);
// Runs per row (ORVI_BENCH_RUNS, at least 5).
int RunCount();
// Waits a moment before a timed step, so the Wine server has finished with a
// process that just ended (or keys just written) and that work is not timed.
void Settle();
// When the Wine server last wrote the machine's keys to disk (system.reg in
// the prefix; 0 when that cannot be read). It rewrites the whole file every
// 30 s while keys have changed and holds every registry call meanwhile (about
// 50 ms with 50,000 extra keys), so a registry sample taken across such a
// save is taken again.
unsigned long long RegistrySavedAt();
// Progress on stderr, so stdout carries the table alone.
void Progress(const char *format, ...);
// Every sample of a figure on stderr when ORVI_BENCH_VERBOSE is set.
void ShowSamples(const std::string &what, const std::vector<double> &samples);

// ---- the table -------------------------------------------------------------------
struct Row {
    std::string row;  // "1 Query"
    std::string size; // "+1,000 keys"
    double tool;      // ms, or the figure in unit
    double reference;
    std::string unit; // "ms", "MB"
    std::string note;
    bool failed; // a sanity check of the row failed
};
void AddRow(const Row &row);
void AddLine(const std::string &text); // a line of its own below the rows
// Rows in the order of their labels (they are measured in another order).
void SortRows();
void PrintTable();
bool TableFailed();
std::string Thousands(long long value);
std::string Fixed(double value, int decimals);

// ---- registry ------------------------------------------------------------------
// Creates root\path (and its parents), with a default value when value is not NULL.
bool CreateKey(HKEY root, const std::wstring &path, const wchar_t *value);
// A GUID text in registry form made from four numbers.
std::wstring GuidText(DWORD a, WORD b, WORD c, unsigned long long tail);
// Deterministic pseudo-random numbers, so every run builds the same keys.
DWORD NextRandom();

// ---- files and processes ----------------------------------------------------------
std::wstring SystemDir();
// Starts command line and waits for the process (at most timeoutMs); returns
// its exit code, or -1 when it could not be started or did not end in time.
long RunProcess(const std::wstring &commandLine, DWORD timeoutMs);
std::wstring EnvText(const wchar_t *name);

// ---- the registrar inside the tool's removals ----------------------------------
// Starts timing every regsvr32.exe run the tool's own code makes, from its
// start to the reading of its exit code; false when that cannot be done.
bool StartClockingRegistrar();
// Time of those runs since the last call, in ms.
double TakeRegistrarMs();

// ---- the rows --------------------------------------------------------------------
// Each adds its lines to the table; window is the tool's main window in this process.
// The query rows when timeRows (the main window must exist); the tool's memory after a query when memoryRow.
void RunQueryRows(bool timeRows, bool memoryRow);
void RunRemovalRows();
void RunUninstallAllRow(HWND window);
void RunCabinetRow(const std::wstring &cabinet);
// Makes the 50 MB cabinet; 0 on failure.
int MakeBenchCabinet(const std::wstring &cabinet);
void RunStartupRows();
// A failed drop with its reason against the registration alone.
void RunDiagnosisRows(HWND window);
// bench_check.cpp
void RunCheckRow();
// Peak working set of the tool after a query, with extra keys present.
void RunQueryMemoryRow(long extraKeys);

// The extra keys below HKEY_CLASSES_ROOT used by the query rows (1% family ProgIDs).
void CreateQueryKeys(long from, long to);
void DeleteQueryKeys(long count);
