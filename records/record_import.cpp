// A record's keys.reg read back: the .reg format as the tool writes it (one
// line per key or value, no continued lines), to check it, write its keys
// back, or delete the keys that are still as it holds them. Only keys of
// the classes are acted on (see RecordKeySubpath), always in the 64-bit
// view, where the path alone names the view, and never through a registry
// link: the key acted on must be the key the record names.
#include "records/records.h"

#include "base/text.h"

struct Reader {
    HANDLE file;
    wchar_t text[kRecordTextChars];
    DWORD at;
    DWORD size;
    ULONGLONG digest; // of everything taken since the current tree began
};
static Reader g_reader;
static wchar_t g_keyPath[kRecordKeyPathSize];
static wchar_t g_treePath[kRecordKeyPathSize]; // the key whose tree is being read
static wchar_t g_realPath[kRecordKeyPathSize];
static wchar_t g_valueName[kRegValueNameSize];
static BYTE g_valueData[kRegValueDataBytes];

// The classes below HKEY_LOCAL_MACHINE a removal deletes from (in either
// view, and the machine-wide twins of the document controls), and a user's
// own classes below HKEY_USERS: the user's classes hive "<user>_Classes" on
// Windows, "<user>\Software\Classes" under Wine.
static const wchar_t kMachine[] = L"HKEY_LOCAL_MACHINE\\";
static const wchar_t kUsers[] = L"HKEY_USERS\\";
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
    if (StartsWithIgnoringCase(path, kMachine)) {
        const wchar_t *subpath = path + TextLength(kMachine);
        *root = HKEY_LOCAL_MACHINE;
        for (const wchar_t *classes : kMachineClasses) {
            if (LeadsTo(subpath, classes))
                return subpath;
        }
        return NULL;
    }
    if (!StartsWithIgnoringCase(path, kUsers))
        return NULL;
    const wchar_t *subpath = path + TextLength(kUsers);
    *root = HKEY_USERS;
    for (const wchar_t *p = subpath; *p && *p != L'\\'; p++) {
        if (LeadsTo(p + 1, kUserClasses) || LeadsTo(p + 1, kUserClassesHive))
            return subpath;
    }
    return NULL;
}

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
    if (c) {
        g_reader.at++;
        g_reader.digest = DigestText(g_reader.digest, &c, 1);
    }
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

// Opens (or, with create, creates) the key the record path names, part by
// part in the 64-bit view, never through a link: a link on the way is met
// before anything is made below it. With parent, the key above it, to act
// on it by its name. The key reached must have its path.
static int ReachRecordKey(const wchar_t *path, int create, int parent, REGSAM access, HKEY *key)
{
    static wchar_t part[kRecordKeyPathSize];
    HKEY root;
    const wchar_t *subpath = RecordKeySubpath(path, &root);
    if (!subpath || !CopyText(part, kRecordKeyPathSize, subpath))
        return 0;
    HKEY reached = root;
    wchar_t *name = part;
    size_t length = TextLength(path);
    for (wchar_t *p = part;; p++) {
        if (*p && *p != L'\\')
            continue;
        int last = !*p;
        if (last && parent) {
            length -= TextLength(name) + 1;
            break;
        }
        *p = 0;
        HKEY next = NULL;
        REGSAM want =
            (last ? access : KEY_READ | (create ? KEY_CREATE_SUB_KEY : 0)) | KEY_WOW64_64KEY;
        DWORD disposition = 0;
        int opened = OpenPlainKey(reached, name, want, &next);
        if (!opened && create && KeyIsGone(reached, name, KEY_WOW64_64KEY) &&
            RegCreateKeyExW(reached, name, 0, NULL, REG_OPTION_NON_VOLATILE | REG_OPTION_OPEN_LINK,
                            want, NULL, &next, &disposition) == ERROR_SUCCESS) {
            // Made by someone else in the meantime: it may be a link.
            opened = disposition == REG_CREATED_NEW_KEY || !IsRegistryLink(next);
            if (!opened)
                RegCloseKey(next);
        }
        if (reached != root)
            RegCloseKey(reached);
        if (!opened)
            return 0;
        reached = next;
        if (last)
            break;
        name = p + 1;
    }
    *key = reached;
    if (reached != root && RealKeyPath(reached, g_realPath, kRecordKeyPathSize) &&
        TextLength(g_realPath) == length &&
        StartsWithIgnoringCase(path, (const wchar_t *)g_realPath))
        return 1;
    if (reached != root)
        RegCloseKey(reached);
    return 0;
}

// The tree read last is deleted when the key is still as the record holds
// it (the same export, digested); a key not there any more is no failure,
// and one that changed stays. It is deleted by its name below its parent,
// reached as the record names it.
static int FinishTree(int action, ULONGLONG digest, int *keys, wchar_t *failedKey)
{
    if (!g_treePath[0])
        return 1;
    HKEY key, parent;
    if (!ReachRecordKey(g_treePath, 0, 0, KEY_READ, &key))
        return 1;
    int same = DigestKeyTree(key, g_treePath) == digest;
    RegCloseKey(key);
    // Somebody else's now: a restore must not write over it.
    if (action == kChangedKeys) {
        if (!same && !(*keys)++)
            CopyText(failedKey, kRecordKeyPathSize, (const wchar_t *)g_treePath);
        return 1;
    }
    if (!same || action == kCountKeys) {
        *keys += same;
        return 1;
    }
    const wchar_t *leaf = g_treePath;
    for (const wchar_t *p = g_treePath; *p; p++) {
        if (*p == L'\\')
            leaf = p + 1;
    }
    if (!ReachRecordKey(g_treePath, 0, 1, KEY_READ, &parent))
        return 1;
    *keys += DeleteKeyTree(parent, leaf, KEY_WOW64_64KEY) != 0;
    RegCloseKey(parent);
    return 1;
}

// The end of the key paths kCountNamedKeys counts ("\\CLSID\\{...}"), and
// whether only keys that are there now count.
static wchar_t g_tail[kRemovalKeyPathSize];
static int g_tailLive;

static int IsNamedKey(const wchar_t *path)
{
    size_t n = TextLength(path), tail = TextLength(g_tail);
    HKEY key;
    if (!tail || n <= tail || !SameName(path + n - tail, g_tail))
        return 0;
    if (!g_tailLive)
        return 1;
    if (!ReachRecordKey(path, 0, 0, KEY_READ, &key))
        return 0;
    RegCloseKey(key);
    return 1;
}

// Acts on one key line; *key is the key its values go to (writing only).
static int ActOnKey(int action, HKEY *key, int *keys)
{
    if (*key)
        RegCloseKey(*key);
    *key = NULL;
    HKEY root;
    if (!RecordKeySubpath(g_keyPath, &root))
        return 0;
    if (action == kWriteKeys)
        return ReachRecordKey(g_keyPath, 1, 0, KEY_SET_VALUE | KEY_QUERY_VALUE, key);
    if (action == kCountNamedKeys)
        *keys += IsNamedKey(g_keyPath);
    return 1;
}

// A key line below the tree being read belongs to it.
static int InTree(const wchar_t *path)
{
    size_t n = TextLength(g_treePath);
    return n && StartsWithIgnoringCase(path, g_treePath) && path[n] == L'\\';
}

// The actions that compare each tree of the record with the key there now.
static int ComparesTrees(int action)
{
    return action == kDeleteKeys || action == kCountKeys || action == kChangedKeys;
}

static int ReadAndAct(int action, int *keys, wchar_t *failedKey)
{
    HKEY key = NULL;
    int keyLines = 0;
    g_treePath[0] = 0;
    int ok = Expect(L"\xFEFF") && Expect(kRegHeaderLine) && Expect(L"\r\n");
    while (ok && Peek()) {
        wchar_t c = Peek();
        if (c == L'\r') {
            ok = Expect(L"\r\n");
        } else if (c == L'[') {
            ULONGLONG before = g_reader.digest;
            Take();
            ok = ReadKeyPath();
            if (ok && !InTree(g_keyPath)) {
                ok = !ComparesTrees(action) || FinishTree(action, before, keys, failedKey);
                CopyText(g_treePath, kRecordKeyPathSize, (const wchar_t *)g_keyPath);
                // The tree's own text starts with this line.
                g_reader.digest = DigestText(kDigestStart, L"[", 1);
                g_reader.digest = DigestText(g_reader.digest, g_keyPath, TextLength(g_keyPath));
                g_reader.digest = DigestText(g_reader.digest, L"]\r\n", 3);
            }
            if (ok && !ActOnKey(action, &key, keys)) {
                CopyText(failedKey, kRecordKeyPathSize, (const wchar_t *)g_keyPath);
                ok = 0;
            }
            keyLines++;
            if (action == kWriteKeys || action == kCheckKeys)
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
    if (ok && ComparesTrees(action))
        ok = FinishTree(action, g_reader.digest, keys, failedKey);
    if (key)
        RegCloseKey(key);
    return ok;
}

int CountRecordedKeys(const RecordStore *store, ULONGLONG number,
                      std::initializer_list<const wchar_t *> tail, int there)
{
    static wchar_t failedKey[kRecordKeyPathSize];
    int keys = 0;
    g_tailLive = there;
    if (ComposeText(g_tail, kRemovalKeyPathSize, tail))
        ActOnRecordKeys(store, number, kCountNamedKeys, &keys, failedKey);
    g_tail[0] = 0;
    return keys;
}

int ActOnRecordKeys(const RecordStore *store, ULONGLONG number, int action, int *keys,
                    wchar_t *failedKey)
{
    *keys = 0;
    failedKey[0] = 0;
    g_reader.file = OpenRecordFile(store, number, kRecordKeysFile, GENERIC_READ, FILE_SHARE_READ,
                                   OPEN_EXISTING);
    if (g_reader.file == INVALID_HANDLE_VALUE)
        return 0;
    g_reader.at = g_reader.size = 0;
    g_reader.digest = kDigestStart;
    int ok = ReadAndAct(action, keys, failedKey);
    CloseHandle(g_reader.file);
    g_reader.file = INVALID_HANDLE_VALUE;
    return ok;
}
