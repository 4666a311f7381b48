// The two views of 64-bit Windows as the platform has them: a class key lies
// in the registry view of its control's bitness, and "System32" in a path
// names the folder of that bitness. IsWow64 answers the removal's own
// question (which key paths it writes); these answer where a key or file
// really is, whichever build asks. A flag or a folder name is always
// relative to the process's own bitness.
#include "controls/controls.h"

#include "base/text.h"

int ProcessView()
{
    return sizeof(void *) == 8 ? kView64 : kView32;
}

// A 64-bit Windows has a 32-bit folder of its own (also where a 64-bit
// process asks, unless the PC has no WoW64); 32-bit Windows has none.
int OtherView(int view)
{
    wchar_t folder[MAX_PATH] = {};
    if (!view || !GetSystemWow64DirectoryW(folder, MAX_PATH))
        return 0;
    return view == kView64 ? kView32 : kView64;
}

int ColumnView()
{
    return ProcessView() == kView64 && !IsWow64() ? kView64 : kView32;
}

REGSAM ViewAccess(int view)
{
    if (view == 0 || view == ProcessView())
        return 0;
    return view == kView64 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
}

// Below System32 these folders are the same for both bitnesses: a 32-bit
// process is not redirected there.
static const wchar_t *const kSharedSystemFolders[] = {
    L"catroot\\", L"catroot2\\", L"driverstore\\", L"drivers\\etc\\", L"logfiles\\", L"spool\\"};

int PathForProcess(const wchar_t *path, int view, wchar_t *out, size_t cap)
{
    wchar_t windows[MAX_PATH] = {};
    wchar_t system[MAX_PATH] = {};
    UINT n = GetSystemWindowsDirectoryW(windows, MAX_PATH);
    int translate = view && view != ProcessView() && OtherView(view) && n && n < MAX_PATH - 1 &&
                    ComposeText(system, MAX_PATH, {(const wchar_t *)windows, L"\\System32\\"});
    if (!translate || !StartsWithIgnoringCase(path, system))
        return CopyText(out, cap, path);
    const wchar_t *rest = path + TextLength(system);
    // A 64-bit process reaches the 32-bit folder by its own name; a 32-bit
    // one, whose System32 is the 32-bit folder, the 64-bit one as Sysnative.
    if (view == kView32) {
        for (const wchar_t *shared : kSharedSystemFolders) {
            if (StartsWithIgnoringCase(rest, shared))
                return CopyText(out, cap, path);
        }
    }
    return ComposeText(
        out, cap,
        {(const wchar_t *)windows, view == kView32 ? L"\\SysWOW64\\" : L"\\Sysnative\\", rest});
}
