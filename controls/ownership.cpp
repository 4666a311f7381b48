// Whose a class and its server file are. A family ProgID's CLSID value may
// name another product's class (an alias, a mistake, or a user's own key
// that the classes merge over the machine's), and one server file may serve
// several controls: the removal deletes a class, runs the registrar on a
// file and deletes it only when they are the control's alone.
#include "controls/controls.h"

#include "base/text.h"

#include <wchar.h>

// 1 when name is progId or a version of it ("ORVI.X.1" of "ORVI.X").
static int NamesProgId(const wchar_t *name, const wchar_t *progId)
{
    size_t length = TextLength(progId);
    if (SameName(name, progId))
        return 1;
    if (!StartsWithIgnoringCase(name, progId) || name[length] != L'.' || !name[length + 1])
        return 0;
    for (const wchar_t *c = name + length + 1; *c; c++) {
        if (*c < L'0' || *c > L'9')
            return 0;
    }
    return 1;
}

int ClassIsTheControls(const wchar_t *progId, const wchar_t *clsid, REGSAM view)
{
    static const wchar_t *const kNames[] = {L"\\ProgID", L"\\VersionIndependentProgID"};
    int named = 0;
    for (const wchar_t *subkey : kNames) {
        wchar_t path[kKeyPathChars] = {};
        wchar_t name[kDefaultValueSize] = {};
        if (!ComposeText(path, kKeyPathChars, {kClassKeys, clsid, subkey}) ||
            !ReadDefaultValueInView(path, view, name))
            continue;
        if (NamesProgId(name, progId) || NamesProgId(progId, name))
            return 1;
        named = 1;
    }
    if (named)
        return 0;
    // A class that names no ProgID is the control's when the machine's own
    // ProgID key (not one of the user's) maps to it.
    wchar_t path[kKeyPathChars] = {};
    wchar_t machine[kValueChars] = {};
    HKEY key;
    if (!ComposeText(path, kKeyPathChars, {L"Software\\Classes\\", progId, L"\\CLSID"}) ||
        RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return 0;
    int read = ReadValueText(key, NULL, machine, kValueChars);
    RegCloseKey(key);
    return read && SameName(machine, clsid);
}

// The flag that names view itself, whichever build asks.
static REGSAM MachineViewFlag(int view)
{
    return view == kView64 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
}

int ServerIsTheMachines(const wchar_t *clsid, int view, const wchar_t *file)
{
    static wchar_t machine[kServerPathSize];
    return ReadServerFile(clsid, MachineViewFlag(view), machine) && SameName(machine, file);
}

struct SharedSearch {
    const wchar_t *progId;
    const wchar_t *clsid;
    const wchar_t *reached; // the file as this process reaches it
    int shared;
};

// Whether the class of another family ProgID names the same file, in either view.
static void LookForSharer(const wchar_t *progId, void *context)
{
    static wchar_t file[kServerPathSize];
    static wchar_t reached[kServerPathSize];
    SharedSearch *search = (SharedSearch *)context;
    wchar_t clsid[kValueChars] = {};
    if (search->shared || SameName(progId, search->progId) ||
        ReadClsid(progId, clsid, kValueChars) != kInfoRead || SameName(clsid, search->clsid))
        return;
    const int views[] = {ProcessView(), OtherView(ProcessView())};
    for (int view : views) {
        if (view && ReadServerFile(clsid, ViewAccess(view), file) &&
            PathForProcess(file, view, reached, kServerPathSize) &&
            SameName(reached, search->reached)) {
            search->shared = 1;
            return;
        }
    }
}

int ServerIsShared(const wchar_t *progId, const wchar_t *clsid, const wchar_t *file, int view)
{
    static wchar_t reached[kServerPathSize];
    if (!PathForProcess(file, view, reached, kServerPathSize))
        return 1;
    SharedSearch search = {progId, clsid, reached, 0};
    EnumerateInstalledControls(LookForSharer, &search);
    return search.shared;
}
