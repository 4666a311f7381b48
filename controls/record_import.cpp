// A record's keys.reg read back: the .reg format as the tool writes it (one
// line per key or value, no continued lines), to check it, write its keys
// back or delete them. Only keys of the classes are acted on (see
// RecordKeySubpath), always in the 64-bit view, where the path alone names
// the view, and never through a registry link: the key acted on must be the
// key the record names.
#include "controls/records.h"

#include "base/text.h"

struct Reader {
    HANDLE file;
    wchar_t text[kRecordTextChars];
    DWORD at;
    DWORD size;
};
static Reader g_reader;
static wchar_t g_keyPath[kRecordKeyPathSize];
static wchar_t g_realPath[kRecordKeyPathSize];
static wchar_t g_valueName[kRegValueNameSize];
static BYTE g_valueData[kRegValueDataBytes];

// The next character without taking it; 0 at the end of the file (a
// terminator inside it is never valid either).
static wchar_t Peek()
{
    if (g_reader.at == g_reader.size) {
        DWORD got = 0;
        g_reader.at = g_reader.size = 0;
        if (!ReadFile(g_reader.file, g_reader.text, sizeof(g_reader.text), &got, NULL) ||
            got % sizeof(wchar_t))
            return 0;
        g_reader.size = got / sizeof(wchar_t);
        if (g_reader.size == 0)
            return 0;
    }
    return g_reader.text[g_reader.at];
}

static wchar_t Take()
{
    wchar_t c = Peek();
    if (c)
        g_reader.at++;
    return c;
}

static int Expect(const wchar_t *text)
{
    for (; *text; text++) {
        if (Take() != *text)
            return 0;
    }
    return 1;
}

static int HexValue(wchar_t c)
{
    if (c >= L'0' && c <= L'9')
        return c - L'0';
    if (c >= L'a' && c <= L'f')
        return c - L'a' + 10;
    if (c >= L'A' && c <= L'F')
        return c - L'A' + 10;
    return -1;
}

// A key line's path (after "["), to the end of its line.
static int ReadKeyPath()
{
    size_t n = 0;
    for (wchar_t c = Take(); c != L'\r'; c = Take()) {
        if (c == 0 || c == L'\n' || n + 1 >= (size_t)kRecordKeyPathSize)
            return 0;
        g_keyPath[n++] = c;
    }
    g_keyPath[n] = 0;
    if (Take() != L'\n' || n < 2 || g_keyPath[n - 1] != L']')
        return 0;
    g_keyPath[n - 1] = 0;
    return 1;
}

// A quoted text (after its opening quote) with \\ and \" escaped, into text;
// *length characters without a terminator.
static int ReadQuoted(wchar_t *text, size_t cap, size_t *length)
{
    size_t n = 0;
    for (wchar_t c = Take(); c != L'"'; c = Take()) {
        if (c == L'\\')
            c = Take();
        if (c == 0 || c == L'\r' || c == L'\n' || n + 1 >= cap)
            return 0;
        text[n++] = c;
    }
    text[n] = 0;
    *length = n;
    return 1;
}

// "xx,xx,...,xx" up to the end of the line.
static int ReadHexBytes(DWORD *size)
{
    *size = 0;
    while (Peek() != L'\r') {
        int high = HexValue(Take());
        int low = HexValue(Take());
        if (high < 0 || low < 0 || *size >= kRegValueDataBytes)
            return 0;
        g_valueData[(*size)++] = (BYTE)(high * 16 + low);
        if (Peek() == L',')
            Take();
    }
    return 1;
}

// A value's data after "=": a string, dword:, hex: or hex(type):.
static int ReadData(DWORD *type, DWORD *size)
{
    wchar_t c = Take();
    if (c == L'"') {
        size_t length = 0;
        if (!ReadQuoted((wchar_t *)g_valueData, kRegValueDataBytes / sizeof(wchar_t), &length))
            return 0;
        *type = REG_SZ;
        *size = (DWORD)((length + 1) * sizeof(wchar_t));
        return 1;
    }
    if (c == L'd') {
        DWORD value = 0;
        if (!Expect(L"word:"))
            return 0;
        for (int i = 0; i < 8; i++) {
            int digit = HexValue(Take());
            if (digit < 0)
                return 0;
            value = value * 16 + (DWORD)digit;
        }
        *type = REG_DWORD;
        *size = sizeof(DWORD);
        memcpy(g_valueData, &value, sizeof(value));
        return 1;
    }
    if (c != L'h' || !Expect(L"ex"))
        return 0;
    *type = REG_BINARY;
    if (Peek() == L'(') {
        Take();
        *type = 0;
        int digits = 0;
        for (c = Take(); c != L')'; c = Take()) {
            int digit = HexValue(c);
            if (digit < 0 || ++digits > 8)
                return 0;
            *type = *type * 16 + (DWORD)digit;
        }
    }
    return Expect(L":") && ReadHexBytes(size);
}

// A value line: "@=" or "name"=, then its data, then the line's end.
static int ReadValue(int *named, DWORD *type, DWORD *size)
{
    size_t length = 0;
    wchar_t c = Take();
    *named = c == L'"';
    if (*named && !ReadQuoted(g_valueName, kRegValueNameSize, &length))
        return 0;
    if (!*named && c != L'@')
        return 0;
    return Expect(L"=") && ReadData(type, size) && Expect(L"\r\n");
}

// The key's parent in the 64-bit view, checked to be the key the record names.
static int OpenParent(HKEY root, const wchar_t *subpath, HKEY *parent, const wchar_t **leaf)
{
    static wchar_t parentPath[kRecordKeyPathSize];
    if (!CopyText(parentPath, kRecordKeyPathSize, subpath))
        return 0;
    wchar_t *slash = NULL;
    for (wchar_t *p = parentPath; *p; p++) {
        if (*p == L'\\')
            slash = p;
    }
    if (!slash)
        return 0;
    *slash = 0;
    *leaf = subpath + (slash - parentPath) + 1;
    if (RegOpenKeyExW(root, parentPath, 0, KEY_READ | KEY_WOW64_64KEY, parent) != ERROR_SUCCESS)
        return 0;
    size_t length = TextLength(g_keyPath) - TextLength(*leaf) - 1;
    if (RealKeyPath(*parent, g_realPath, kRecordKeyPathSize) && TextLength(g_realPath) == length &&
        CompareStringOrdinal(g_realPath, (int)length, g_keyPath, (int)length, TRUE) == CSTR_EQUAL)
        return 1;
    RegCloseKey(*parent);
    return 0;
}

// Depth first, never into a link, in the 64-bit view.
static int DeleteTreeInView(HKEY parent, const wchar_t *name, int depth)
{
    HKEY key;
    if (RegOpenKeyExW(parent, name, REG_OPTION_OPEN_LINK, KEY_READ | KEY_WOW64_64KEY, &key) !=
        ERROR_SUCCESS)
        return 0;
    int plain = !IsRegistryLink(key) && depth < kMaxRecordDepth;
    while (plain) {
        wchar_t subkey[kKeyNameSize] = {};
        DWORD size = kKeyNameSize;
        if (RegEnumKeyExW(key, 0, subkey, &size, NULL, NULL, NULL, NULL) != ERROR_SUCCESS)
            break;
        if (!DeleteTreeInView(key, subkey, depth + 1))
            break;
    }
    RegCloseKey(key);
    return plain && RegDeleteKeyExW(parent, name, KEY_WOW64_64KEY, 0) == ERROR_SUCCESS;
}

// A key named by the record that is no longer there is no failure.
static int DeleteRecordKey(HKEY root, const wchar_t *subpath)
{
    HKEY parent;
    const wchar_t *leaf = NULL;
    if (!OpenParent(root, subpath, &parent, &leaf))
        return 1;
    HKEY key;
    int there = RegOpenKeyExW(parent, leaf, REG_OPTION_OPEN_LINK, KEY_READ | KEY_WOW64_64KEY,
                              &key) == ERROR_SUCCESS;
    if (there)
        RegCloseKey(key);
    int deleted = !there || DeleteTreeInView(parent, leaf, 0);
    RegCloseKey(parent);
    return deleted;
}

// Creates the key, or opens it, and checks it is the key the record names.
static int CreateRecordKey(HKEY root, const wchar_t *subpath, HKEY *key)
{
    if (RegCreateKeyExW(root, subpath, 0, NULL, REG_OPTION_NON_VOLATILE,
                        KEY_SET_VALUE | KEY_QUERY_VALUE | KEY_WOW64_64KEY, NULL, key,
                        NULL) != ERROR_SUCCESS)
        return 0;
    if (RealKeyPath(*key, g_realPath, kRecordKeyPathSize) &&
        CompareStringOrdinal(g_realPath, -1, g_keyPath, -1, TRUE) == CSTR_EQUAL)
        return 1;
    RegCloseKey(*key);
    *key = NULL;
    return 0;
}

// Acts on one key line; *key is the key its values go to (writing only).
static int ActOnKey(int action, HKEY *key)
{
    if (*key)
        RegCloseKey(*key);
    *key = NULL;
    HKEY root;
    const wchar_t *subpath = RecordKeySubpath(g_keyPath, &root);
    if (!subpath)
        return 0;
    if (action == kWriteKeys)
        return CreateRecordKey(root, subpath, key);
    if (action == kDeleteKeys)
        return DeleteRecordKey(root, subpath);
    return 1;
}

static int ReadAndAct(int action, int *keys, wchar_t *failedKey)
{
    HKEY key = NULL;
    int keyLines = 0;
    int ok = Expect(L"\xFEFF") && Expect(kRegHeaderLine) && Expect(L"\r\n");
    while (ok && Peek()) {
        wchar_t c = Peek();
        if (c == L'\r') {
            ok = Expect(L"\r\n");
        } else if (c == L'[') {
            Take();
            ok = ReadKeyPath();
            if (ok && !ActOnKey(action, &key)) {
                CopyText(failedKey, kRecordKeyPathSize, (const wchar_t *)g_keyPath);
                ok = 0;
            }
            keyLines++;
            *keys += ok;
        } else {
            int named = 0;
            DWORD type = REG_NONE, size = 0;
            // A value belongs to the key line before it.
            ok = keyLines > 0 && ReadValue(&named, &type, &size);
            if (ok && key &&
                RegSetValueExW(key, named ? g_valueName : NULL, 0, type, g_valueData, size) !=
                    ERROR_SUCCESS) {
                CopyText(failedKey, kRecordKeyPathSize, (const wchar_t *)g_keyPath);
                ok = 0;
            }
        }
    }
    if (key)
        RegCloseKey(key);
    return ok;
}

int ActOnRecordKeys(ULONGLONG number, int action, int *keys, wchar_t *failedKey)
{
    *keys = 0;
    failedKey[0] = 0;
    g_reader.file =
        OpenRecordFile(number, kRecordKeysFile, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    if (g_reader.file == INVALID_HANDLE_VALUE)
        return 0;
    g_reader.at = g_reader.size = 0;
    int ok = ReadAndAct(action, keys, failedKey);
    CloseHandle(g_reader.file);
    g_reader.file = INVALID_HANDLE_VALUE;
    return ok;
}
