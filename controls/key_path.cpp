// Keys named by their full path in the registry, as a record names them: the
// path says which view a key lies in, whatever the process reading it.
#include "controls/records.h"

#include "base/text.h"

// NtQueryKey's KeyNameInformation: the key's name from the registry's root.
typedef LONG(WINAPI *NtQueryKeyFn)(HANDLE key, int informationClass, void *information,
                                   ULONG length, ULONG *resultLength);
const int kKeyNameInformation = 3;

struct RootName {
    const wchar_t *native; // as the registry names it
    const wchar_t *text;   // as a .reg file names it
    HKEY root;
};
static const RootName kRoots[] = {
    {L"\\REGISTRY\\MACHINE\\", L"HKEY_LOCAL_MACHINE\\", HKEY_LOCAL_MACHINE},
    {L"\\REGISTRY\\USER\\", L"HKEY_USERS\\", HKEY_USERS},
};

static int StartsWithIgnoringCase(const wchar_t *text, const wchar_t *start)
{
    int n = (int)TextLength(start);
    return (int)TextLength(text) >= n &&
           CompareStringOrdinal(text, n, start, n, TRUE) == CSTR_EQUAL;
}

int RealKeyPath(HKEY key, wchar_t *path, size_t cap)
{
    // The name's length in bytes, then the name without a terminator.
    static BYTE information[sizeof(ULONG) + kRecordKeyPathSize * sizeof(wchar_t)];
    static wchar_t name[kRecordKeyPathSize];
    path[0] = 0;
    NtQueryKeyFn query =
        (NtQueryKeyFn)(void *)GetProcAddress(GetModuleHandleW(L"ntdll"), "NtQueryKey");
    ULONG length = 0;
    if (!query || query(key, kKeyNameInformation, information, sizeof(information), &length) != 0)
        return 0;
    ULONG bytes = *(ULONG *)information;
    if (bytes % sizeof(wchar_t) || bytes / sizeof(wchar_t) >= (ULONG)kRecordKeyPathSize)
        return 0;
    memcpy(name, information + sizeof(ULONG), bytes);
    name[bytes / sizeof(wchar_t)] = 0;
    for (const RootName &root : kRoots) {
        if (StartsWithIgnoringCase(name, root.native))
            return ComposeText(path, cap,
                               {root.text, (const wchar_t *)name + TextLength(root.native)});
    }
    return 0;
}

// The classes below HKEY_LOCAL_MACHINE a removal deletes from (in either
// view, and the machine-wide twins of the document controls), and a user's
// own classes below HKEY_USERS: the user's classes hive "<user>_Classes" on
// Windows, "<user>\Software\Classes" under Wine.
static const wchar_t *const kMachineClasses[] = {L"Software\\Classes\\", L"Wow6432Node\\Classes\\"};
static const wchar_t kUserClassesHive[] = L"_Classes\\";
static const wchar_t kUserClasses[] = L"\\Software\\Classes\\";

// 1 when text starts with start and goes on after it.
static int LeadsTo(const wchar_t *text, const wchar_t *start)
{
    return StartsWithIgnoringCase(text, start) && text[TextLength(start)];
}

const wchar_t *RecordKeySubpath(const wchar_t *path, HKEY *root)
{
    if (StartsWithIgnoringCase(path, kRoots[0].text)) {
        const wchar_t *subpath = path + TextLength(kRoots[0].text);
        *root = HKEY_LOCAL_MACHINE;
        for (const wchar_t *classes : kMachineClasses) {
            if (LeadsTo(subpath, classes))
                return subpath;
        }
        return NULL;
    }
    if (!StartsWithIgnoringCase(path, kRoots[1].text))
        return NULL;
    const wchar_t *subpath = path + TextLength(kRoots[1].text);
    *root = HKEY_USERS;
    for (const wchar_t *p = subpath; *p && *p != L'\\'; p++) {
        if (LeadsTo(p + 1, kUserClasses) || LeadsTo(p + 1, kUserClassesHive))
            return subpath;
    }
    return NULL;
}

int IsRegistryLink(HKEY key)
{
    DWORD type = REG_NONE;
    return RegQueryValueExW(key, L"SymbolicLinkValue", NULL, &type, NULL, NULL) == ERROR_SUCCESS &&
           type == REG_LINK;
}
