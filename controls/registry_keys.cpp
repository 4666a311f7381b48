// Registry keys as the removal and its records act on them: opened as
// themselves (never through a registry link), deleted depth first, looked
// for without following a link, in either view.
#include "controls/controls.h"

#include "base/text.h"

// The other view's classes are reached through the machine's classes key
// with that view's flag, never through HKEY_CLASSES_ROOT with a flag: Wine 8
// leaks a handle at every such open, and an elevated registration writes the
// machine's classes. The process's own view keeps HKEY_CLASSES_ROOT.
const wchar_t *ClassesKeyPath(HKEY *root, REGSAM view, const wchar_t *path, wchar_t *mapped)
{
    if (*root != HKEY_CLASSES_ROOT || !view)
        return path;
    *root = HKEY_LOCAL_MACHINE;
    return ComposeText(mapped, kClassesPathSize, {L"Software\\Classes\\", path}) ? mapped : NULL;
}

LSTATUS OpenClassesKey(const wchar_t *path, REGSAM view, HKEY *key)
{
    wchar_t mapped[kClassesPathSize];
    HKEY root = HKEY_CLASSES_ROOT;
    const wchar_t *reached = ClassesKeyPath(&root, view, path, mapped);
    if (!reached)
        return ERROR_FILE_NOT_FOUND;
    return RegOpenKeyExW(root, reached, 0, KEY_READ | view, key);
}

int IsRegistryLink(HKEY key)
{
    DWORD type = REG_NONE;
    return RegQueryValueExW(key, L"SymbolicLinkValue", NULL, &type, NULL, NULL) == ERROR_SUCCESS &&
           type == REG_LINK;
}

// No installation writes a link, and acting on a key by name would act on
// its target: a link, or a key that cannot be opened to tell, is left alone.
int OpenPlainKey(HKEY root, const wchar_t *path, REGSAM access, HKEY *key)
{
    wchar_t mapped[kClassesPathSize];
    path = ClassesKeyPath(&root, access & (KEY_WOW64_64KEY | KEY_WOW64_32KEY), path, mapped);
    if (!path || RegOpenKeyExW(root, path, REG_OPTION_OPEN_LINK, access, key) != ERROR_SUCCESS)
        return 0;
    if (!IsRegistryLink(*key))
        return 1;
    RegCloseKey(*key);
    return 0;
}

// The process's own view keeps the plain calls; another view needs its flag.
static LSTATUS DeleteOneKey(HKEY root, const wchar_t *path, REGSAM view)
{
    return view ? RegDeleteKeyExW(root, path, view, 0) : RegDeleteKeyW(root, path);
}

// What the first step on a key of the tree did.
enum FirstStep {
    kKeyKept = 0,    // a link, or a key that could not be opened: left as it is
    kKeyDeleted = 1, // it had no subkeys
    kKeyOpened = 2,  // *key is open for its subkeys to be deleted first
};

static int DeleteOrOpenKey(HKEY root, const wchar_t *path, REGSAM view, HKEY *key)
{
    if (!OpenPlainKey(root, path, KEY_READ | view, key))
        return kKeyKept;
    RegCloseKey(*key);
    if (DeleteOneKey(root, path, view) == ERROR_SUCCESS)
        return kKeyDeleted;
    if (RegOpenKeyExW(root, path, REG_OPTION_OPEN_LINK, KEY_READ | view, key) != ERROR_SUCCESS)
        return kKeyKept;
    return kKeyOpened;
}

// 1 when every key of the tree below key can be named, from the root, within
// the working path, and lies at most kMaxKeyDepth levels below it (what a
// record writes); pathLength is the length of key's own path. A subkey that
// cannot be opened is counted as a leaf: the deletion stops there anyway.
static int TreeFitsWorkingPath(HKEY key, size_t pathLength, int depth)
{
    for (DWORD index = 0;; index++) {
        wchar_t name[kDeleteTreeSubkeySize] = {};
        DWORD size = kDeleteTreeSubkeySize;
        if (RegEnumKeyExW(key, index, name, &size, NULL, NULL, NULL, NULL) != ERROR_SUCCESS)
            return 1;
        size_t length = pathLength + 1 + size;
        if (length >= kDeleteTreePathSize || depth >= kMaxKeyDepth)
            return 0;
        HKEY subkey;
        if (RegOpenKeyExW(key, name, REG_OPTION_OPEN_LINK, KEY_READ, &subkey) != ERROR_SUCCESS)
            continue;
        int fits = TreeFitsWorkingPath(subkey, length, depth + 1);
        RegCloseKey(subkey);
        if (!fits)
            return 0;
    }
}

// path is the working buffer; subkey names are written behind it in place
// and it holds the path passed in again (without a trailing backslash) on
// return.
static int DeleteTreeInPlace(HKEY root, wchar_t *path, REGSAM view)
{
    HKEY key;
    int first = DeleteOrOpenKey(root, path, view, &key);
    if (first != kKeyOpened)
        return first;
    size_t base = TextLength(path);
    if (path[base - 1] != L'\\') {
        if (!AppendText(path, kDeleteTreePathSize, L"\\")) {
            RegCloseKey(key);
            return 0;
        }
        base++;
    }
    for (;;) {
        wchar_t name[kDeleteTreeSubkeySize] = {};
        DWORD size = kDeleteTreeSubkeySize;
        FILETIME written;
        if (RegEnumKeyExW(key, 0, name, &size, NULL, NULL, NULL, &written) != ERROR_SUCCESS)
            break;
        path[base] = 0;
        // Never act on a cut path: a name that does not fit ends the work here.
        if (!AppendText(path, kDeleteTreePathSize, (const wchar_t *)name))
            break;
        if (!DeleteTreeInPlace(root, path, view))
            break;
    }
    path[base - 1] = 0;
    RegCloseKey(key);
    return DeleteOneKey(root, path, view) == ERROR_SUCCESS;
}

int DeleteKeyTree(HKEY root, const wchar_t *path, REGSAM view)
{
    wchar_t working[kDeleteTreePathSize] = {};
    wchar_t mapped[kClassesPathSize];
    // An empty path would name the root itself.
    if (!path[0] || !(path = ClassesKeyPath(&root, view, path, mapped)) ||
        !CopyText(working, kDeleteTreePathSize, path))
        return 0;
    HKEY key;
    int first = DeleteOrOpenKey(root, working, view, &key);
    if (first != kKeyOpened)
        return first;
    // A tree too deep to be named in the working path, or to be written into
    // a record, is left untouched rather than half deleted.
    size_t length = TextLength(working);
    if (working[length - 1] == L'\\')
        length--;
    int fits = TreeFitsWorkingPath(key, length, 0);
    RegCloseKey(key);
    if (!fits)
        return 0;
    return DeleteTreeInPlace(root, working, view);
}

// A plain open would follow a link: a dangling one would look gone, and a
// link the removal rightly left would be taken for its target.
int KeyIsGone(HKEY root, const wchar_t *path, REGSAM view)
{
    HKEY key;
    wchar_t mapped[kClassesPathSize];
    if (!(path = ClassesKeyPath(&root, view, path, mapped)))
        return 0;
    LSTATUS status = RegOpenKeyExW(root, path, REG_OPTION_OPEN_LINK, KEY_READ | view, &key);
    if (status == ERROR_SUCCESS)
        RegCloseKey(key);
    return status == ERROR_FILE_NOT_FOUND;
}
