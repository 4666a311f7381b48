// Depth-first deletion of a registry key tree, as the removal does it.
#include "controls/controls.h"

#include "base/text.h"

// 1 for a key that can be opened as itself and is no registry link. No
// installation writes a link, and a deletion by name would act on its target:
// a link, or a key that cannot be opened to tell, is left as it is, as a key
// that cannot be deleted would be.
static int IsPlainKey(HKEY root, const wchar_t *path)
{
    HKEY key;
    if (RegOpenKeyExW(root, path, REG_OPTION_OPEN_LINK, KEY_READ, &key) != ERROR_SUCCESS)
        return 0;
    DWORD type = REG_NONE;
    LSTATUS status = RegQueryValueExW(key, L"SymbolicLinkValue", NULL, &type, NULL, NULL);
    RegCloseKey(key);
    return !(status == ERROR_SUCCESS && type == REG_LINK);
}

// What the first step on a key of the tree did.
enum FirstStep {
    kKeyKept = 0,    // a link, or a key that could not be opened: left as it is
    kKeyDeleted = 1, // it had no subkeys
    kKeyOpened = 2,  // *key is open for its subkeys to be deleted first
};

static int DeleteOrOpenKey(HKEY root, const wchar_t *path, HKEY *key)
{
    if (!IsPlainKey(root, path))
        return kKeyKept;
    if (RegDeleteKeyW(root, path) == ERROR_SUCCESS)
        return kKeyDeleted;
    if (RegOpenKeyExW(root, path, REG_OPTION_OPEN_LINK, KEY_READ, key) != ERROR_SUCCESS)
        return kKeyKept;
    return kKeyOpened;
}

// 1 when every key of the tree below key can be named, from the root, within
// the working path; pathLength is the length of key's own path. A subkey
// that cannot be opened is counted as a leaf: the deletion stops there anyway.
static int TreeFitsWorkingPath(HKEY key, size_t pathLength)
{
    for (DWORD index = 0;; index++) {
        wchar_t name[kDeleteTreeSubkeySize] = {};
        DWORD size = kDeleteTreeSubkeySize;
        if (RegEnumKeyExW(key, index, name, &size, NULL, NULL, NULL, NULL) != ERROR_SUCCESS)
            return 1;
        size_t length = pathLength + 1 + size;
        if (length >= kDeleteTreePathSize)
            return 0;
        HKEY subkey;
        if (RegOpenKeyExW(key, name, REG_OPTION_OPEN_LINK, KEY_READ, &subkey) != ERROR_SUCCESS)
            continue;
        int fits = TreeFitsWorkingPath(subkey, length);
        RegCloseKey(subkey);
        if (!fits)
            return 0;
    }
}

// path is the working buffer; subkey names are written behind it in place
// and it holds the path passed in again (without a trailing backslash) on
// return.
static int DeleteTreeInPlace(HKEY root, wchar_t *path)
{
    HKEY key;
    int first = DeleteOrOpenKey(root, path, &key);
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
        if (!DeleteTreeInPlace(root, path))
            break;
    }
    path[base - 1] = 0;
    RegCloseKey(key);
    return RegDeleteKeyW(root, path) == ERROR_SUCCESS;
}

int DeleteKeyTree(HKEY root, const wchar_t *path)
{
    wchar_t working[kDeleteTreePathSize] = {};
    // An empty path would name the root itself.
    if (!path[0] || !CopyText(working, kDeleteTreePathSize, path))
        return 0;
    HKEY key;
    int first = DeleteOrOpenKey(root, working, &key);
    if (first != kKeyOpened)
        return first;
    // A tree too deep to be named in the working path is left untouched
    // rather than half deleted.
    size_t length = TextLength(working);
    if (working[length - 1] == L'\\')
        length--;
    int fits = TreeFitsWorkingPath(key, length);
    RegCloseKey(key);
    if (!fits)
        return 0;
    return DeleteTreeInPlace(root, working);
}

// A plain open would follow a link: a dangling one would look gone, and a
// link the removal rightly left would be taken for its target.
int KeyIsGone(HKEY root, const wchar_t *path)
{
    HKEY key;
    LSTATUS status = RegOpenKeyExW(root, path, REG_OPTION_OPEN_LINK, KEY_READ, &key);
    if (status == ERROR_SUCCESS)
        RegCloseKey(key);
    return status == ERROR_FILE_NOT_FOUND;
}
