// The keys a removal is about to delete, written with their values and
// subkeys in the platform's .reg format (UTF-16 with its byte order mark,
// "Windows Registry Editor Version 5.00"), so `reg import` reads it as well
// as the tool does. Each key is named by its full path in the registry, so
// the view it lies in is part of its name. Registry links are never
// followed, as the removal never follows them. The same text, digested
// instead of written, tells whether a key is still as a record holds it.
#include "records/records.h"

#include "base/text.h"

static const wchar_t kHexDigits[] = L"0123456789abcdef";

// NtQueryKey's KeyNameInformation: the key's name from the registry's root.
typedef LONG(WINAPI *NtQueryKeyFn)(HANDLE key, int informationClass, void *information,
                                   ULONG length, ULONG *resultLength);
const int kKeyNameInformation = 3;

struct RootName {
    const wchar_t *native; // as the registry names it
    const wchar_t *text;   // as a .reg file names it
};
static const RootName kRoots[] = {
    {L"\\REGISTRY\\MACHINE\\", L"HKEY_LOCAL_MACHINE\\"},
    {L"\\REGISTRY\\USER\\", L"HKEY_USERS\\"},
};

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

// Where the text goes: a file (through a buffer), or only into a digest.
struct Export {
    HANDLE file; // NULL: digest only
    wchar_t text[kRecordTextChars];
    size_t used;
    int failed;
    int whole;
    ULONGLONG bytes;
    ULONGLONG digest;
};
static Export g_export;
static wchar_t g_valueName[kRegValueNameSize];
static BYTE g_valueData[kRegValueDataBytes];
// The full paths of the keys written so far, each with its terminator: a key
// named twice by the plan (both views' names of a shared key) is written once.
static wchar_t g_written[kPlanChars];
static size_t g_writtenUsed;

ULONGLONG DigestText(ULONGLONG digest, const wchar_t *text, size_t length)
{
    for (size_t i = 0; i < length; i++) {
        digest = (digest ^ (BYTE)text[i]) * 1099511628211ULL;
        digest = (digest ^ (BYTE)(text[i] >> 8)) * 1099511628211ULL;
    }
    return digest;
}

static void Flush()
{
    g_export.digest = DigestText(g_export.digest, g_export.text, g_export.used);
    DWORD bytes = (DWORD)(g_export.used * sizeof(wchar_t));
    DWORD written = 0;
    if (g_export.file && bytes &&
        (!WriteFile(g_export.file, g_export.text, bytes, &written, NULL) || written != bytes))
        g_export.failed = 1;
    g_export.bytes += written;
    g_export.used = 0;
}

static void Put(const wchar_t *text)
{
    for (; *text; text++) {
        if (g_export.used == (size_t)kRecordTextChars)
            Flush();
        g_export.text[g_export.used++] = *text;
    }
}

static void PutHex(const BYTE *data, DWORD size)
{
    for (DWORD i = 0; i < size; i++) {
        wchar_t byte[] = {kHexDigits[data[i] >> 4], kHexDigits[data[i] & 15],
                          i + 1 < size ? L',' : L'\0', 0};
        Put(byte);
    }
}

// A name or string between quotes, backslashes and quotes escaped.
static void PutQuoted(const wchar_t *text, size_t length)
{
    Put(L"\"");
    for (size_t i = 0; i < length; i++) {
        wchar_t one[] = {text[i], 0};
        if (text[i] == L'\\' || text[i] == L'"')
            Put(L"\\");
        Put(one);
    }
    Put(L"\"");
}

// A line break or a terminator inside a text would end or cut its line.
static int FitsOnALine(const wchar_t *text, size_t length)
{
    for (size_t i = 0; i < length; i++) {
        if (text[i] == L'\r' || text[i] == L'\n' || text[i] == 0)
            return 0;
    }
    return 1;
}

// A REG_SZ that ends in its one terminator is written as text; any other
// string (no terminator, half a character) keeps its exact bytes.
static void PutData(DWORD type, const BYTE *data, DWORD size)
{
    const wchar_t *text = (const wchar_t *)data;
    size_t chars = size / sizeof(wchar_t);
    if (type == REG_SZ && size % sizeof(wchar_t) == 0 && chars > 0 && text[chars - 1] == 0 &&
        FitsOnALine(text, chars - 1)) {
        PutQuoted(text, chars - 1);
        return;
    }
    if (type == REG_DWORD && size == sizeof(DWORD)) {
        wchar_t digits[9] = {};
        DWORD value = *(const DWORD *)data;
        for (int i = 7; i >= 0; i--, value >>= 4)
            digits[i] = kHexDigits[value & 15];
        Put(L"dword:");
        Put(digits);
        return;
    }
    if (type == REG_BINARY) {
        Put(L"hex:");
    } else {
        wchar_t typeText[12] = {};
        int n = 0;
        DWORD rest = type;
        do {
            typeText[n++] = kHexDigits[rest & 15];
            rest >>= 4;
        } while (rest && n < 8);
        Put(L"hex(");
        while (n > 0) {
            wchar_t one[] = {typeText[--n], 0};
            Put(one);
        }
        Put(L"):");
    }
    PutHex(data, size);
}

static void PutValues(HKEY key)
{
    for (DWORD index = 0;; index++) {
        DWORD nameSize = kRegValueNameSize;
        DWORD dataSize = kRegValueDataBytes;
        DWORD type = REG_NONE;
        LSTATUS status =
            RegEnumValueW(key, index, g_valueName, &nameSize, NULL, &type, g_valueData, &dataSize);
        if (status == ERROR_NO_MORE_ITEMS)
            return;
        // Too large for the buffer, or a name no line can hold: left out.
        if (status != ERROR_SUCCESS || !FitsOnALine(g_valueName, nameSize)) {
            g_export.whole = 0;
            continue;
        }
        if (nameSize == 0)
            Put(L"@");
        else
            PutQuoted(g_valueName, nameSize);
        Put(L"=");
        PutData(type, g_valueData, dataSize);
        Put(L"\r\n");
    }
}

// path holds the key's full path; subkey names are added behind it in place.
static void PutTree(HKEY key, wchar_t *path, int depth)
{
    Put(L"[");
    Put(path);
    Put(L"]\r\n");
    PutValues(key);
    Put(L"\r\n");
    size_t length = TextLength(path);
    for (DWORD index = 0;; index++) {
        wchar_t name[kKeyNameSize] = {};
        DWORD size = kKeyNameSize;
        if (RegEnumKeyExW(key, index, name, &size, NULL, NULL, NULL, NULL) != ERROR_SUCCESS)
            break;
        HKEY subkey;
        if (!FitsOnALine(name, size) || depth >= kMaxKeyDepth ||
            !AppendText(path, kRecordKeyPathSize, L"\\") ||
            !AppendText(path, kRecordKeyPathSize, (const wchar_t *)name)) {
            path[length] = 0;
            g_export.whole = 0;
            continue;
        }
        // A link is never followed; one that could not be read is left out.
        if (OpenPlainKey(key, name, KEY_READ, &subkey)) {
            PutTree(subkey, path, depth + 1);
            RegCloseKey(subkey);
        }
        path[length] = 0;
    }
}

// 1 when path, or a key above it, was written already.
static int AlreadyWritten(const wchar_t *path)
{
    for (size_t at = 0; at < g_writtenUsed; at += TextLength(g_written + at) + 1) {
        const wchar_t *written = g_written + at;
        size_t n = TextLength(written);
        if (StartsWithIgnoringCase(path, written) && (path[n] == 0 || path[n] == L'\\'))
            return 1;
    }
    return 0;
}

static void ExportPlannedKey(HKEY root, REGSAM view, const wchar_t *plannedPath)
{
    static wchar_t path[kRecordKeyPathSize];
    HKEY key;
    // A key that is not there is not deleted either; a link is never deleted.
    if (!OpenPlainKey(root, plannedPath, KEY_READ | view, &key))
        return;
    if (!RealKeyPath(key, path, kRecordKeyPathSize) || !FitsOnALine(path, TextLength(path))) {
        g_export.whole = 0;
    } else if (!AlreadyWritten(path)) {
        if (CopyText(g_written + g_writtenUsed, kPlanChars - g_writtenUsed, (const wchar_t *)path))
            g_writtenUsed += TextLength(path) + 1;
        PutTree(key, path, 0);
    }
    RegCloseKey(key);
}

static void StartExport(HANDLE file)
{
    g_export.file = file;
    g_export.used = 0;
    g_export.failed = 0;
    g_export.whole = 1;
    g_export.bytes = 0;
    g_export.digest = kDigestStart;
    g_writtenUsed = 0;
}

int ExportPlannedKeys(const RemovalPlan *plan, HANDLE file, int *whole, ULONGLONG *bytes)
{
    StartExport(file);
    Put(L"\xFEFF");
    Put(kRegHeaderLine);
    Put(L"\r\n\r\n");
    for (int i = 0; i < plan->count; i++)
        ExportPlannedKey(plan->keys[i].root, plan->keys[i].view, PlannedKeyPath(plan, i));
    Flush();
    *whole = g_export.whole;
    *bytes = g_export.bytes;
    return !g_export.failed;
}

ULONGLONG DigestKeyTree(HKEY key, const wchar_t *path)
{
    static wchar_t working[kRecordKeyPathSize];
    StartExport(NULL);
    if (!CopyText(working, kRecordKeyPathSize, path))
        return 0;
    PutTree(key, working, 0);
    Flush();
    return g_export.digest;
}
