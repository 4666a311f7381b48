// Timing, the table, and registry and process helpers of the benchmark.
#include "bench/bench.h"

#include <algorithm>
#include <stdarg.h>
#include <stdio.h>

static std::vector<Row> g_rows;
static std::vector<std::string> g_lines;
static DWORD g_random = 0x2545F491;

double NowMs()
{
    static LARGE_INTEGER frequency;
    if (!frequency.QuadPart)
        QueryPerformanceFrequency(&frequency);
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return (double)now.QuadPart * 1000.0 / (double)frequency.QuadPart;
}

double Median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

int RunCount()
{
    std::wstring text = EnvText(L"ORVI_BENCH_RUNS");
    int runs = text.empty() ? 5 : _wtoi(text.c_str());
    return runs < 5 ? 5 : runs;
}

void Settle()
{
    Sleep(150);
}

unsigned long long RegistrySavedAt()
{
    std::wstring prefix = EnvText(L"WINEPREFIX");
    if (prefix.empty())
        return 0;
    std::wstring path = L"Z:" + prefix + L"/system.reg";
    for (wchar_t &c : path) {
        if (c == L'/')
            c = L'\\';
    }
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
        return 0;
    return ((unsigned long long)data.ftLastWriteTime.dwHighDateTime << 32) |
           data.ftLastWriteTime.dwLowDateTime;
}

void Progress(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    fprintf(stderr, "bench: ");
    vfprintf(stderr, format, args);
    fprintf(stderr, "\n");
    fflush(stderr);
    va_end(args);
}

void ShowSamples(const std::string &what, const std::vector<double> &samples)
{
    if (EnvText(L"ORVI_BENCH_VERBOSE").empty())
        return;
    std::string text;
    for (double s : samples)
        text += " " + Fixed(s, 2);
    Progress("%s:%s", what.c_str(), text.c_str());
}

void AddRow(const Row &row)
{
    g_rows.push_back(row);
}

void AddLine(const std::string &text)
{
    g_lines.push_back(text);
}

std::string Thousands(long long value)
{
    std::string digits = std::to_string(value < 0 ? -value : value);
    std::string out;
    for (size_t i = 0; i < digits.size(); i++) {
        if (i && (digits.size() - i) % 3 == 0)
            out += ',';
        out += digits[i];
    }
    return value < 0 ? "-" + out : out;
}

std::string Fixed(double value, int decimals)
{
    char text[64];
    snprintf(text, sizeof(text), "%.*f", decimals, value);
    return text;
}

static std::string Figure(double value, const std::string &unit)
{
    int decimals = value >= 100 ? 0 : value >= 10 ? 1 : 2;
    return Fixed(value, decimals) + " " + unit;
}

void SortRows()
{
    std::stable_sort(g_rows.begin(), g_rows.end(), [](const Row &a, const Row &b) {
        return a.row.substr(0, 1) < b.row.substr(0, 1);
    });
}

bool TableFailed()
{
    for (const Row &r : g_rows) {
        if (r.failed)
            return true;
    }
    return false;
}

void PrintTable()
{
    printf("%-22s %-24s %12s %12s %7s  %s\n", "row", "size", "tool", "reference", "ratio", "notes");
    printf("%s\n", std::string(110, '-').c_str());
    for (const Row &r : g_rows) {
        std::string ratio = r.reference > 0 ? Fixed(r.tool / r.reference, 2) : "-";
        std::string note = r.failed ? "CHECK FAILED; " + r.note : r.note;
        printf("%-22s %-24s %12s %12s %7s  %s\n", r.row.c_str(), r.size.c_str(),
               Figure(r.tool, r.unit).c_str(),
               r.reference > 0 ? Figure(r.reference, r.unit).c_str() : "-", ratio.c_str(),
               note.c_str());
    }
    printf("%s\n", std::string(110, '-').c_str());
    for (const std::string &line : g_lines)
        printf("%s\n", line.c_str());
    fflush(stdout);
}

bool CreateKey(HKEY root, const std::wstring &path, const wchar_t *value)
{
    HKEY key;
    if (RegCreateKeyExW(root, path.c_str(), 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key, NULL) !=
        ERROR_SUCCESS)
        return false;
    bool ok = true;
    if (value)
        ok = RegSetValueExW(key, NULL, 0, REG_SZ, (const BYTE *)value,
                            (DWORD)((lstrlenW(value) + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
    RegCloseKey(key);
    return ok;
}

std::wstring GuidText(DWORD a, WORD b, WORD c, unsigned long long tail)
{
    wchar_t text[64];
    swprintf(text, 64, L"{%08lX-%04X-%04x-%04X-%012llX}", (unsigned long)a, b, c,
             (unsigned)((tail >> 48) & 0xFFFF), tail & 0xFFFFFFFFFFFFULL);
    return text;
}

DWORD NextRandom()
{
    // xorshift32
    g_random ^= g_random << 13;
    g_random ^= g_random >> 17;
    g_random ^= g_random << 5;
    return g_random;
}

std::wstring SystemDir()
{
    wchar_t dir[MAX_PATH] = {};
    GetSystemDirectoryW(dir, MAX_PATH);
    return dir;
}

long RunProcess(const std::wstring &commandLine, DWORD timeoutMs)
{
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    std::wstring line = commandLine;
    if (!CreateProcessW(NULL, &line[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process))
        return -1;
    long result = -1;
    if (WaitForSingleObject(process.hProcess, timeoutMs) == WAIT_OBJECT_0) {
        DWORD code = 0;
        GetExitCodeProcess(process.hProcess, &code);
        result = (long)code;
    } else {
        TerminateProcess(process.hProcess, 1);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return result;
}

std::wstring EnvText(const wchar_t *name)
{
    wchar_t text[1024] = {};
    DWORD n = GetEnvironmentVariableW(name, text, 1024);
    return n && n < 1024 ? text : L"";
}
