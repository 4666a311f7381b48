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

// The flag that names view itself, whichever build asks.
static REGSAM MachineViewFlag(int view)
{
    return view == kView64 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
}

// 1 when the machine's own ProgID key of progId (not one of the user's)
// maps to clsid.
static int MachineMapsProgId(const wchar_t *progId, const wchar_t *clsid)
{
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

// What the machine's class names in subkey: kNamesNone when the subkey is
// not there, else kNamesProgId, or kNamesOrphan for a family name whose own
// ProgID key is gone (its control lost its ProgID), else kNamesOther, also
// for a name that cannot be read.
enum ClassNaming {
    kNamesNone,
    kNamesProgId,
    kNamesOrphan,
    kNamesOther
};
static int ClassNames(const wchar_t *progId, const wchar_t *clsid, int view, const wchar_t *subkey)
{
    wchar_t path[kKeyPathChars] = {};
    wchar_t name[kValueChars] = {};
    HKEY key;
    if (!ComposeText(path, kKeyPathChars, {L"Software\\Classes\\CLSID\\", clsid, subkey}))
        return kNamesOther;
    LSTATUS opened =
        RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_READ | MachineViewFlag(view), &key);
    if (opened == ERROR_FILE_NOT_FOUND)
        return kNamesNone;
    if (opened != ERROR_SUCCESS)
        return kNamesOther;
    int read = ReadValueText(key, NULL, name, kValueChars) && name[0];
    RegCloseKey(key);
    if (!read)
        return kNamesOther;
    if (NamesProgId(name, progId) || NamesProgId(progId, name))
        return kNamesProgId;
    return IsFamilyName(name) && KeyIsGone(HKEY_CLASSES_ROOT, name, 0) ? kNamesOrphan : kNamesOther;
}

// Read from the machine's classes alone, which a user cannot write: the
// class's ProgID decides, else its VersionIndependentProgID. A class that
// names neither, or names a family control that lost its ProgID key, is the
// control's when the machine's ProgID key of progId maps to it.
int ClassIsTheControls(const wchar_t *progId, const wchar_t *clsid, int view)
{
    int naming = ClassNames(progId, clsid, view, L"\\ProgID");
    if (naming == kNamesNone)
        naming = ClassNames(progId, clsid, view, L"\\VersionIndependentProgID");
    if (naming == kNamesProgId)
        return 1;
    if (naming == kNamesOther)
        return 0;
    return MachineMapsProgId(progId, clsid);
}

int ServerIsTheMachines(const wchar_t *clsid, int view, const wchar_t *file)
{
    static wchar_t machine[kServerPathSize];
    return ReadServerFile(clsid, MachineViewFlag(view), machine, 1) && SameName(machine, file);
}

// 1 when a and b (as this process reaches them) are one file: the same
// volume and file index where both open, else the same full path.
static int SameFile(const wchar_t *a, const wchar_t *b)
{
    static wchar_t fullA[kServerPathSize], fullB[kServerPathSize];
    const wchar_t *paths[] = {a, b};
    BY_HANDLE_FILE_INFORMATION info[2] = {};
    int known = 0;
    for (int i = 0; i < 2; i++) {
        HANDLE file =
            CreateFileW(paths[i], 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, NULL);
        if (file == INVALID_HANDLE_VALUE)
            continue;
        known += GetFileInformationByHandle(file, &info[i]) != 0;
        CloseHandle(file);
    }
    if (known == 2)
        return info[0].dwVolumeSerialNumber == info[1].dwVolumeSerialNumber &&
               info[0].nFileIndexHigh == info[1].nFileIndexHigh &&
               info[0].nFileIndexLow == info[1].nFileIndexLow;
    DWORD na = GetFullPathNameW(a, kServerPathSize, fullA, NULL);
    DWORD nb = GetFullPathNameW(b, kServerPathSize, fullB, NULL);
    if (!na || na >= (DWORD)kServerPathSize || !nb || nb >= (DWORD)kServerPathSize)
        return SameName(a, b);
    return SameName(fullA, fullB);
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
            SameFile(reached, search->reached)) {
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
