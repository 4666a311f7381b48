// Rows 1 to 3: the query, the removal of one control and the uninstall-all
// action, each against a bare walk of the same keys or the registrar's runs.
#include "bench/bench.h"

#include "app/app.h"
#include "controls/controls.h"
#include "register/register.h"
#include "window/support/window_support.h"

static const long kQuerySizes[] = {1000, 10000, 50000};
static const long kInterfaceSizes[] = {1000, 10000, 50000};
static const int kMatchingInterfaces = 5;
static const int kUninstallAllCount = 100;
// Tries at a sample the Wine server's saving of the registry did not cross.
static const int kAttempts = 3;

static std::wstring QueryKeyName(long index)
{
    wchar_t name[64];
    // One in a hundred is a family ProgID.
    if (index % 100 == 0)
        swprintf(name, 64, L"ORVI.BenchQuery%06ld", index);
    else
        swprintf(name, 64, L"BenchKey.%06ld", index);
    return name;
}

void CreateQueryKeys(long from, long to)
{
    for (long i = from; i < to; i++)
        CreateKey(HKEY_CLASSES_ROOT, QueryKeyName(i), NULL);
}

void DeleteQueryKeys(long count)
{
    for (long i = 0; i < count; i++)
        RegDeleteKeyW(HKEY_CLASSES_ROOT, QueryKeyName(i).c_str());
}

// The limit: every subkey of key named once, nothing else done.
static long WalkSubkeys(HKEY key)
{
    long count = 0;
    for (DWORD index = 0;; index++) {
        wchar_t name[256];
        DWORD size = 256;
        if (RegEnumKeyExW(key, index, name, &size, NULL, NULL, NULL, NULL) != ERROR_SUCCESS)
            break;
        count++;
    }
    return count;
}

static long WalkNamedKey(const wchar_t *path)
{
    HKEY key;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return 0;
    long count = WalkSubkeys(key);
    RegCloseKey(key);
    return count;
}

void RunQueryRows(bool timeRows, bool memoryRow)
{
    const int runs = RunCount();
    long made = 0;
    for (long size : kQuerySizes) {
        if (!timeRows && size > 10000)
            break;
        double start = NowMs();
        CreateQueryKeys(made, size);
        Progress("query: made %ld extra keys below HKEY_CLASSES_ROOT in %.1f s", size - made,
                 (NowMs() - start) / 1000);
        made = size;
        if (memoryRow && size == 10000)
            RunQueryMemoryRow(size);
        if (!timeRows)
            continue;
        long total = (long)SubkeyCount(HKEY_CLASSES_ROOT, L"");

        // One untimed round first, so caches are warm for both.
        int expected = QueryInstalledControls();
        WalkSubkeys(HKEY_CLASSES_ROOT);
        std::vector<double> tool, reference;
        bool failed = expected < size / 100;
        // The two take turns at going first, each after a pause of its own.
        for (int r = 0; r < runs; r++) {
            for (int turn = 0; turn < 2; turn++) {
                bool isTool = (turn == 0) == (r % 2 == 0);
                double ms = 0;
                for (int attempt = 0; attempt < kAttempts; attempt++) {
                    Settle();
                    unsigned long long saved = RegistrySavedAt();
                    double t0 = NowMs();
                    if (isTool ? QueryInstalledControls() != expected
                               : WalkSubkeys(HKEY_CLASSES_ROOT) != total)
                        failed = true;
                    ms = NowMs() - t0;
                    if (RegistrySavedAt() == saved)
                        break;
                    Progress(
                        "query: the registry was saved during a sample of %.1f ms: taken again",
                        ms);
                }
                (isTool ? tool : reference).push_back(ms);
            }
        }
        ShowSamples("query " + Thousands(size) + " tool", tool);
        ShowSamples("query " + Thousands(size) + " reference", reference);
        double toolMs = Median(tool), referenceMs = Median(reference);
        Row row = {"1 Query",
                   "+" + Thousands(size) + " keys",
                   toolMs,
                   referenceMs,
                   "ms",
                   "per 10,000 keys: " + Fixed(toolMs * 10000 / total, 1) + " vs " +
                       Fixed(referenceMs * 10000 / total, 1) + " ms (" + Thousands(total) +
                       " keys, " + Thousands(expected) + " listed)",
                   failed};
        AddRow(row);
        Progress("query: %ld extra keys done", size);
    }
    double start = NowMs();
    DeleteQueryKeys(made);
    Progress("query: deleted the extra keys in %.1f s", (NowMs() - start) / 1000);
}

// ---- removal of one control --------------------------------------------------------

static const wchar_t kRemoveProgId[] = L"ORVI.BenchRemove";

struct BenchControl {
    std::wstring progId, clsid, typeLib, server;
    std::vector<std::wstring> interfaces;
};

// A control as its own registration would leave it, written directly.
static BenchControl MakeControl(const std::wstring &progId, DWORD number, int interfaces,
                                const std::wstring &server)
{
    BenchControl c;
    c.progId = progId;
    c.clsid = GuidText(0xB0C10000 + number, 0x5A5A, 0x4c3d, 0x9E0F1A2B3C4DULL + number);
    c.typeLib = GuidText(0xB0C20000 + number, 0x6B6B, 0x4d4e, 0x8F1E2D3C4B5AULL + number);
    c.server = server;
    for (int i = 0; i < interfaces; i++) {
        // Differs from the type library only in the first group: a match.
        wchar_t first[16];
        swprintf(first, 16, L"{%08lX", (unsigned long)(0x13579BDFUL * (i + 1) + number));
        c.interfaces.push_back(first + c.typeLib.substr(9));
    }
    return c;
}

static bool RegisterControl(const BenchControl &c)
{
    bool ok =
        CreateKey(HKEY_CLASSES_ROOT, c.progId, L"Bench control") &&
        CreateKey(HKEY_CLASSES_ROOT, c.progId + L"\\CLSID", c.clsid.c_str()) &&
        CreateKey(HKEY_CLASSES_ROOT, L"CLSID\\" + c.clsid, L"Bench control") &&
        CreateKey(HKEY_CLASSES_ROOT, L"CLSID\\" + c.clsid + L"\\InprocServer32",
                  c.server.c_str()) &&
        CreateKey(HKEY_CLASSES_ROOT, L"CLSID\\" + c.clsid + L"\\ProgID", c.progId.c_str()) &&
        CreateKey(HKEY_CLASSES_ROOT, L"CLSID\\" + c.clsid + L"\\TypeLib", c.typeLib.c_str()) &&
        CreateKey(HKEY_CLASSES_ROOT, L"TypeLib\\" + c.typeLib + L"\\1.0\\0\\win64",
                  c.server.c_str());
    for (const std::wstring &iid : c.interfaces) {
        ok = ok && CreateKey(HKEY_CLASSES_ROOT, L"Interface\\" + iid, L"IBench") &&
             CreateKey(HKEY_CLASSES_ROOT, L"Interface\\" + iid + L"\\TypeLib", c.typeLib.c_str());
    }
    return ok && CopyFileW(TestServerPath().c_str(), c.server.c_str(), FALSE);
}

// True when nothing of the control is left.
static bool ControlGone(const BenchControl &c)
{
    bool gone = !KeyExists(HKEY_CLASSES_ROOT, c.progId) &&
                !KeyExists(HKEY_CLASSES_ROOT, L"CLSID\\" + c.clsid) &&
                !KeyExists(HKEY_CLASSES_ROOT, L"TypeLib\\" + c.typeLib) && !FileExists(c.server);
    for (const std::wstring &iid : c.interfaces)
        gone = gone && !KeyExists(HKEY_CLASSES_ROOT, L"Interface\\" + iid);
    return gone;
}

static void UnregisterControl(const BenchControl &c)
{
    DeleteTree(HKEY_CLASSES_ROOT, c.progId);
    DeleteTree(HKEY_CLASSES_ROOT, L"CLSID\\" + c.clsid);
    DeleteTree(HKEY_CLASSES_ROOT, L"TypeLib\\" + c.typeLib);
    for (const std::wstring &iid : c.interfaces)
        DeleteTree(HKEY_CLASSES_ROOT, L"Interface\\" + iid);
    DeleteFileW(c.server.c_str());
}

// One plain silent unregistering run of regsvr32.exe on a copy of the test
// server, started with CreateProcessW; -1 when it failed.
static double TimeRegistrarRun(const std::wstring &scratch)
{
    std::wstring copy = scratch + L"\\registrar.dll";
    CopyFileW(TestServerPath().c_str(), copy.c_str(), FALSE);
    Settle();
    std::wstring line = L"\"" + SystemDir() + L"\\regsvr32.exe\" /u /s \"" + copy + L"\"";
    double start = NowMs();
    long code = RunProcess(line, 60000);
    double ms = NowMs() - start;
    DeleteFileW(copy.c_str());
    return code == 0 ? ms : -1;
}

// The walks every removal makes by rule: "Interface" twice (the 32-bit
// build on 64-bit Windows walks "Wow6432Node\Interface" the second time),
// then "TypeLib". Returns the keys walked.
static long WalkPassRoots()
{
    return WalkNamedKey(L"Interface") + WalkNamedKey(L"Interface") + WalkNamedKey(L"TypeLib");
}

void RunRemovalRows()
{
    const int runs = RunCount() * 2 + 1; // cheap: more runs against the noise
    std::wstring scratch = MakeScratchDir(L"bench");
    std::vector<std::wstring> extra;
    long baseInterfaces = (long)SubkeyCount(HKEY_CLASSES_ROOT, L"Interface");
    long baseTypeLibs = (long)SubkeyCount(HKEY_CLASSES_ROOT, L"TypeLib");
    Progress("removal: Interface holds %ld keys, TypeLib %ld at the start", baseInterfaces,
             baseTypeLibs);
    for (long size : kInterfaceSizes) {
        double start = NowMs();
        while ((long)extra.size() < size) {
            unsigned long long tail = ((unsigned long long)NextRandom() << 32) | NextRandom();
            std::wstring iid = GuidText(NextRandom(), (WORD)NextRandom(), (WORD)NextRandom(), tail);
            if (CreateKey(HKEY_CLASSES_ROOT, L"Interface\\" + iid, NULL))
                extra.push_back(iid);
        }
        Progress("removal: made Interface keys up to %ld extra in %.1f s", size,
                 (NowMs() - start) / 1000);

        std::vector<double> whole, registrar, plainRegistrar, own, reference, floor;
        bool failed = !StartClockingRegistrar();
        // The first round warms up the shell and the registrar and is not counted.
        // The removal and the bare walks take turns at going first.
        for (int r = 0; r <= runs; r++) {
            double wholeMs = 0, share = 0, plainShare = 0, walkMs = 0, passMs = 0;
            for (int turn = 0; turn < 2; turn++) {
                for (int attempt = 0; attempt < kAttempts; attempt++) {
                    unsigned long long saved = 0;
                    if ((turn == 0) == (r % 2 == 0)) {
                        BenchControl c = MakeControl(kRemoveProgId, 1, kMatchingInterfaces,
                                                     scratch + L"\\remove.dll");
                        if (!RegisterControl(c))
                            failed = true;
                        Settle();
                        TakeRegistrarMs();
                        saved = RegistrySavedAt();
                        double t0 = NowMs();
                        UninstallControl(c.progId.c_str());
                        wholeMs = NowMs() - t0;
                        share = TakeRegistrarMs();
                        if (!ControlGone(c))
                            failed = true;
                        UnregisterControl(c);
                        if (RegistrySavedAt() != saved) {
                            Progress(
                                "removal: the registry was saved during the removal: taken again");
                            continue;
                        }
                        plainShare = TimeRegistrarRun(scratch);
                    } else {
                        Settle();
                        saved = RegistrySavedAt();
                        double t0 = NowMs();
                        long walked = WalkNamedKey(L"Interface") + WalkNamedKey(L"TypeLib");
                        double t1 = NowMs();
                        WalkPassRoots();
                        walkMs = t1 - t0;
                        passMs = NowMs() - t1;
                        if (walked < size)
                            failed = true;
                        if (RegistrySavedAt() != saved) {
                            Progress(
                                "removal: the registry was saved during the bare walks: taken again");
                            continue;
                        }
                    }
                    break;
                }
            }
            if (share <= 0 || plainShare < 0)
                failed = true;
            if (r == 0)
                continue;
            whole.push_back(wholeMs);
            registrar.push_back(share);
            plainRegistrar.push_back(plainShare);
            own.push_back(wholeMs - share);
            reference.push_back(walkMs);
            floor.push_back(passMs);
        }
        ShowSamples("removal " + Thousands(size) + " whole", whole);
        ShowSamples("removal " + Thousands(size) + " regsvr32 inside the removal", registrar);
        ShowSamples("removal " + Thousands(size) + " regsvr32 by CreateProcess", plainRegistrar);
        ShowSamples("removal " + Thousands(size) + " reference", reference);
        ShowSamples("removal " + Thousands(size) + " three bare passes", floor);
        Row row = {"2 Removal",
                   "Interface +" + Thousands(size),
                   Median(own),
                   Median(reference),
                   "ms",
                   "whole removal " + Fixed(Median(whole), 0) + " ms less its regsvr32 run " +
                       Fixed(Median(registrar), 0) + " (bare " + Fixed(Median(plainRegistrar), 0) +
                       "); the 3 pass walks bare " + Fixed(Median(floor), 0) + " ms",
                   failed};
        AddRow(row);
    }
    double start = NowMs();
    for (const std::wstring &iid : extra)
        RegDeleteKeyW(HKEY_CLASSES_ROOT, (L"Interface\\" + iid).c_str());
    Progress("removal: deleted the extra Interface keys in %.1f s", (NowMs() - start) / 1000);
    RemoveTree(scratch);
}

void RunUninstallAllRow(HWND window)
{
    const int runs = RunCount();
    std::wstring scratch = MakeScratchDir(L"bench");
    std::vector<double> tool, limit, registrar, plainRegistrar, walk, floor;
    bool failed = !StartClockingRegistrar();
    for (int r = 0; r < runs; r++) {
        std::vector<BenchControl> controls;
        for (int k = 0; k < kUninstallAllCount; k++) {
            wchar_t progId[64], server[32];
            swprintf(progId, 64, L"ORVI.BenchAll%03d", k);
            swprintf(server, 32, L"\\all%03d.dll", k);
            controls.push_back(MakeControl(progId, 100 + k, 1, scratch + server));
            if (!RegisterControl(controls.back()))
                failed = true;
        }
        if (QueryInstalledControls() != kUninstallAllCount)
            failed = true;
        TakeBoxes();
        QueueBoxAnswer(IDYES);
        Settle();
        TakeRegistrarMs();
        double t0 = NowMs();
        UninstallAllAction(window);
        double t1 = NowMs();
        tool.push_back(t1 - t0);
        registrar.push_back(TakeRegistrarMs() / kUninstallAllCount);
        std::vector<BoxRecord> boxes = TakeBoxes();
        if (boxes.size() != 1 || boxes[0].answer != IDYES ||
            SendMessageW(g_controlList, LB_GETCOUNT, 0, 0) != 0)
            failed = true;
        for (const BenchControl &c : controls) {
            if (!ControlGone(c))
                failed = true;
            UnregisterControl(c);
        }
        // The limit of one control: one registrar run and one look at
        // every key that might belong to it.
        double plainShare = TimeRegistrarRun(scratch);
        Settle();
        double t2 = NowMs();
        WalkNamedKey(L"Interface");
        WalkNamedKey(L"TypeLib");
        double t3 = NowMs();
        WalkPassRoots();
        double t4 = NowMs();
        if (registrar.back() <= 0 || plainShare < 0)
            failed = true;
        limit.push_back(plainShare + t3 - t2);
        plainRegistrar.push_back(plainShare);
        walk.push_back(t3 - t2);
        floor.push_back(t4 - t3);
        Progress("uninstall all: run %d of %d took %.1f s", r + 1, runs, (t1 - t0) / 1000);
    }
    ShowSamples("uninstall all", tool);
    ShowSamples("uninstall all: regsvr32 inside, per control", registrar);
    ShowSamples("uninstall all: regsvr32 by CreateProcess", plainRegistrar);
    double toolMs = Median(tool);
    Row row = {"3 Uninstall all",
               Thousands(kUninstallAllCount) + " controls",
               toolMs,
               Median(limit) * kUninstallAllCount,
               "ms",
               "per control " + Fixed(toolMs / kUninstallAllCount, 1) + " ms, of it regsvr32 " +
                   Fixed(Median(registrar), 1) + "; limit: bare regsvr32 " +
                   Fixed(Median(plainRegistrar), 1) + " + one walk " + Fixed(Median(walk), 1) +
                   " ms; the 3 pass walks bare " + Fixed(Median(floor), 1) + " ms",
               failed};
    AddRow(row);
    RemoveTree(scratch);
}
