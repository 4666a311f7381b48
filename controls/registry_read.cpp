// The ways the tool reads a registry string, each with its own limit
// and its own answer to a value that is too long or only half stored.
#include "controls/controls.h"

#include "base/text.h"

static void ZeroValue(wchar_t *value)
{
    for (int i = 0; i < kDefaultValueSize; i++)
        value[i] = 0;
}

int ReadDefaultValueInView(const wchar_t *path, REGSAM view, wchar_t *value)
{
    ZeroValue(value);
    HKEY key;
    if (OpenClassesKey(path, view, &key) != ERROR_SUCCESS)
        return 0;
    // Bytes, not characters: a value of at most 126 characters and its terminator.
    LONG size = kDefaultValueBytes;
    LONG result = RegQueryValueW(key, NULL, value, &size);
    RegCloseKey(key);
    // A value that was read only in part, or ends in half a character, is
    // never used.
    if (result != ERROR_SUCCESS || size % sizeof(wchar_t) != 0) {
        ZeroValue(value);
        return 0;
    }
    return (int)TextLengthWithin(value, kDefaultValueSize);
}

int ReadDefaultValue(const wchar_t *path, wchar_t *value)
{
    return ReadDefaultValueInView(path, 0, value);
}

int ReadValueText(HKEY key, const wchar_t *name, wchar_t *text, int cap)
{
    text[0] = 0;
    if (cap < kValueChars)
        return 0;
    ZeroMemory(text, cap * sizeof(wchar_t));
    // Offered 500 bytes; a larger value fails here with ERROR_MORE_DATA.
    DWORD size = kValueChars * sizeof(wchar_t);
    if (RegQueryValueExW(key, name, NULL, NULL, (BYTE *)text, &size) != ERROR_SUCCESS)
        return 0;
    // A value that ends in half a character cannot be read whole.
    if (size % sizeof(wchar_t) != 0) {
        text[0] = 0;
        return 0;
    }
    // Registry strings need not carry a terminator: the data's size decides,
    // and a text filling all 250 characters has no room left for one.
    size_t length = TextLengthWithin(text, size / sizeof(wchar_t));
    if (length >= (size_t)kValueChars) {
        text[0] = 0;
        return 0;
    }
    text[length] = 0;
    return 1;
}

static void ZeroServerPath(wchar_t *serverPath)
{
    for (int i = 0; i < kServerPathSize; i++)
        serverPath[i] = 0;
}

// The default value of the class's InprocServer32 key below classKeys, as
// stored, its type in *type; the buffer's zeros past the data terminate it.
// Empty when it cannot be read in full.
static void ReadServerValue(const wchar_t *classKeys, REGSAM view, const wchar_t *clsid,
                            wchar_t *serverPath, DWORD *type)
{
    wchar_t path[kKeyPathChars] = {};
    *type = REG_NONE;
    ZeroServerPath(serverPath);
    if (!clsid[0] || !ComposeText(path, kKeyPathChars, {classKeys, clsid, L"\\InprocServer32"}))
        return;
    HKEY key;
    if (OpenClassesKey(path, view, &key) != ERROR_SUCCESS)
        return;
    DWORD size = kServerPathBytes;
    LONG result = RegQueryValueExW(key, NULL, NULL, type, (BYTE *)serverPath, &size);
    RegCloseKey(key);
    // Never unregister or delete a file under a cut path, nor under one whose
    // last character is only half stored.
    if (result != ERROR_SUCCESS || size % sizeof(wchar_t) != 0) {
        ZeroServerPath(serverPath);
        *type = REG_NONE;
    }
}

int ReadServerFile(const wchar_t *clsid, REGSAM view, wchar_t *file, int systemOnly)
{
    static wchar_t value[kServerPathSize];
    DWORD type;
    ReadServerValue(kClassKeys, view, clsid, value, &type);
    return ServerFileOfValue(value, type, file, systemOnly);
}

DWORD ReadWholeServerPath(BOOL wow64, REGSAM view, const wchar_t *clsid, wchar_t *serverPath)
{
    DWORD type;
    ReadServerValue(wow64 ? kClassKeysWow : kClassKeys, view, clsid, serverPath, &type);
    if (type == REG_SZ || type == REG_EXPAND_SZ)
        return type;
    ZeroServerPath(serverPath);
    return 0;
}

int ClassHoldsServer(const wchar_t *clsid, REGSAM view)
{
    wchar_t path[kKeyPathChars] = {};
    HKEY key;
    if (!clsid[0] || !ComposeText(path, kKeyPathChars, {kClassKeys, clsid, L"\\InprocServer32"}) ||
        OpenClassesKey(path, view, &key) != ERROR_SUCCESS)
        return 0;
    RegCloseKey(key);
    return 1;
}
