// Row 4: RegisterCabinet's extraction of a large MSZIP cabinet against Wine's
// own extrac32.exe (the same decompressor) and, for information, the native
// cabextract that the benchmark script times on the same file.
#include "bench/bench.h"

#include "app/app.h"
#include "register/register.h"
#include "support/cabinet_maker.h"
#include "window/support/window_support.h"

static const int kCabinetFiles = 20;
// About 4.5 MB of each file; at roughly half its size compressed the
// cabinet comes to about 50 MB.
static const size_t kFileBytes = 4608 * 1024;
static const LONGLONG kExpectedBytes = (LONGLONG)kFileBytes * kCabinetFiles;

// Semi-compressible bytes: sixteen symbols drawn at random carry four bits
// each, so MSZIP halves them and no more.
static std::string FileContent(int index)
{
    static const char kSymbols[] = "etaoinshrdlucmfw";
    std::string bytes(kFileBytes, ' ');
    DWORD state = 0x9E3779B9u * (index + 1);
    for (size_t i = 0; i < bytes.size(); i++) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        bytes[i] = kSymbols[state & 15];
    }
    return bytes;
}

static LONGLONG FileSize(const std::wstring &path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
        return -1;
    return ((LONGLONG)data.nFileSizeHigh << 32) | data.nFileSizeLow;
}

int MakeBenchCabinet(const std::wstring &cabinet)
{
    size_t slash = cabinet.find_last_of(L"\\/");
    if (slash == std::wstring::npos)
        return 0;
    std::wstring dir = cabinet.substr(0, slash);
    std::string name = AnsiName(cabinet.substr(slash + 1));
    std::vector<CabEntry> entries;
    for (int i = 0; i < kCabinetFiles; i++) {
        CabEntry entry;
        char stored[32];
        snprintf(stored, sizeof(stored), "bench%02d.bin", i);
        entry.storedName = stored;
        entry.bytes = FileContent(i);
        entries.push_back(entry);
    }
    double start = NowMs();
    if (!MakeCabinet(dir, name, entries, true))
        return 0;
    Progress("cabinet: made %s (%.1f MB) in %.1f s", name.c_str(), FileSize(cabinet) / 1048576.0,
             (NowMs() - start) / 1000);
    return 1;
}

// Number of files in dir and their total size.
static int CountFiles(const std::wstring &dir, LONGLONG *bytes)
{
    int count = 0;
    *bytes = 0;
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((dir + L"\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE)
        return 0;
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            continue;
        count++;
        *bytes += ((LONGLONG)found.nFileSizeHigh << 32) | found.nFileSizeLow;
    } while (FindNextFileW(find, &found));
    FindClose(find);
    return count;
}

// Unpacks with the tool; true when all files came out whole. The output is
// deleted again.
static bool TimeRegisterCabinet(const std::wstring &cabinet, double *ms)
{
    double start = NowMs();
    RegisterCabinet(cabinet.c_str());
    *ms = NowMs() - start;
    // The registration has written "*.*" behind the folder's path.
    std::wstring folder = g_extractFolderWide;
    if (folder.size() > 3 && folder.compare(folder.size() - 3, 3, L"*.*") == 0)
        folder.resize(folder.size() - 3);
    if (folder.empty())
        return false;
    LONGLONG bytes = 0;
    bool whole = CountFiles(folder, &bytes) == kCabinetFiles && bytes == kExpectedBytes;
    RemoveTree(folder);
    return whole;
}

// The same with Wine's extrac32.exe into the fresh folder target.
static bool TimeExtrac32(const std::wstring &cabinet, const std::wstring &target, double *ms)
{
    CreateDirectoryW(target.c_str(), NULL);
    std::wstring line =
        L"\"" + SystemDir() + L"\\extrac32.exe\" /Y /E /L \"" + target + L"\" \"" + cabinet + L"\"";
    double start = NowMs();
    long code = RunProcess(line, 300000);
    *ms = NowMs() - start;
    LONGLONG bytes = 0;
    bool whole =
        code == 0 && CountFiles(target, &bytes) == kCabinetFiles && bytes == kExpectedBytes;
    RemoveTree(target);
    return whole;
}

void RunCabinetRow(const std::wstring &cabinet)
{
    const int runs = RunCount();
    LONGLONG cabinetBytes = FileSize(cabinet);
    if (cabinetBytes <= 0) {
        AddRow({"4 Cabinet", "no cabinet", 0, 0, "ms", "the cabinet was not made", true});
        return;
    }
    std::wstring base = SystemDir().substr(0, 1) + L":\\OrviActiveX";
    bool hadBase = GetFileAttributesW(base.c_str()) != INVALID_FILE_ATTRIBUTES;
    std::wstring scratch = MakeScratchDir(L"bench-extrac32");
    std::vector<double> tool, reference;
    bool failed = false;
    // The first round reads the cabinet into the file cache and is not counted.
    // The two take turns at going first: whichever follows the deletion of
    // 90 MB just written pays for the file system's work on it.
    for (int r = 0; r <= runs; r++) {
        double toolMs = 0, referenceMs = 0;
        for (int turn = 0; turn < 2; turn++) {
            if ((turn == 0) == (r % 2 == 0)) {
                if (!TimeRegisterCabinet(cabinet, &toolMs))
                    failed = true;
            } else {
                if (!TimeExtrac32(cabinet, scratch + L"\\run" + std::to_wstring(r), &referenceMs))
                    failed = true;
            }
            Settle();
        }
        if (r == 0)
            continue;
        tool.push_back(toolMs);
        reference.push_back(referenceMs);
        Progress("cabinet: run %d of %d: RegisterCabinet %.0f ms, extrac32 %.0f ms", r, runs,
                 toolMs, referenceMs);
    }
    RemoveTree(scratch);
    if (!hadBase)
        RemoveTree(base);

    std::string size =
        Fixed(cabinetBytes / 1048576.0, 1) + " MB, " + Thousands(kCabinetFiles) + " files";
    double toolMs = Median(tool);
    double referenceMs = Median(reference);
    bool met = referenceMs > 0 && toolMs / referenceMs <= 1.05;
    AddRow({"4 Cabinet", size, toolMs, referenceMs, "ms",
            "RegisterCabinet vs extrac32.exe /E (" + Fixed(kExpectedBytes / 1048576.0, 0) +
                " MB unpacked, MSZIP); goal ≤ 1.05: " + (met ? "met" : "NOT MET"),
            failed});
    std::wstring native = EnvText(L"ORVI_BENCH_CABEXTRACT_MS");
    if (!native.empty())
        AddRow({"4 Cabinet (info)", size, toolMs, _wtof(native.c_str()), "ms",
                "RegisterCabinet vs native cabextract on Linux, outside Wine", false});
}
