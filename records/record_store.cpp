// The records folder C:\OrviActiveX\removals and the records in it, each a
// folder numbered one past the highest before it (15 digits), with its state
// file. Only what the tool made is used: no reparse point on the way, a
// protected DACL, and held open while it is used, so it can be neither
// renamed nor swapped meanwhile.
#include "records/records.h"

#include "base/text.h"
#include "register/register.h"

static const wchar_t kRecordsFolderName[] = L"removals";
const size_t kNumberDigits = 15;
// Numbers tried above the highest, and then below it (other processes
// make records too).
const int kRecordTries = 100;

enum HoldResult {
    kFolderHeld = 0,
    kFolderMissing = 1,   // could not be opened
    kFolderUntrusted = 2, // a reparse point, no folder, or not protected
};

// Opens a folder as itself, without delete sharing.
static int HoldTrustedFolder(const wchar_t *path, HANDLE *held)
{
    *held = CreateFileW(path, FILE_LIST_DIRECTORY | READ_CONTROL | SYNCHRONIZE,
                        FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                        FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, NULL);
    if (*held == INVALID_HANDLE_VALUE)
        return kFolderMissing;
    BY_HANDLE_FILE_INFORMATION info = {};
    if (GetFileInformationByHandle(*held, &info) &&
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
        !(info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) && IsProtectedObject(*held))
        return kFolderHeld;
    CloseHandle(*held);
    *held = INVALID_HANDLE_VALUE;
    return kFolderUntrusted;
}

// "<number>" with leading zeros, kNumberDigits digits.
static int FormatNumber(wchar_t *digits, ULONGLONG number)
{
    wchar_t plain[kDecimalSize] = {};
    if (!FormatDecimal(plain, kDecimalSize, (long long)number))
        return 0;
    size_t length = TextLength(plain);
    if (length > kNumberDigits)
        return 0;
    size_t pad = kNumberDigits - length;
    for (size_t i = 0; i < pad; i++)
        digits[i] = L'0';
    return CopyText(digits + pad, kDecimalSize - pad, (const wchar_t *)plain);
}

// The number a record folder's name gives, or 0 for any other name.
static ULONGLONG ParseNumber(const wchar_t *name)
{
    ULONGLONG number = 0;
    size_t i = 0;
    for (; name[i]; i++) {
        if (name[i] < L'0' || name[i] > L'9' || i >= kNumberDigits)
            return 0;
        number = number * 10 + (ULONGLONG)(name[i] - L'0');
    }
    return i == kNumberDigits ? number : 0;
}

// A folder the tool did not make is renamed out of the way, never used: it
// may have been made before the tool's own by anybody who can write to the
// base folder. The clock only names it; nothing is ordered by it.
static ULONGLONG ClockNumber();

static int SetRecordsFolderAside(const wchar_t *path)
{
    wchar_t digits[kDecimalSize] = {};
    wchar_t aside[kRecordPathSize] = {};
    return FormatNumber(digits, ClockNumber()) &&
           ComposeText(aside, kRecordPathSize,
                       {path, L".", (const wchar_t *)digits, L".untrusted"}) &&
           MoveFileW(path, aside);
}

// Puts number into the list (newest first); beyond the list's end the oldest drops out.
static void InsertNumber(RecordStore *store, ULONGLONG number)
{
    int at = store->listed;
    while (at > 0 && store->numbers[at - 1] < number)
        at--;
    if (at >= kListedRecords)
        return;
    int last = store->listed < kListedRecords ? store->listed : kListedRecords - 1;
    for (int i = last; i > at; i--)
        store->numbers[i] = store->numbers[i - 1];
    store->numbers[at] = number;
    if (store->listed < kListedRecords)
        store->listed++;
}

static void ListRecords(RecordStore *store)
{
    wchar_t pattern[kRecordPathSize] = {};
    store->listed = 0;
    store->next = 0;
    if (!ComposeText(pattern, kRecordPathSize, {(const wchar_t *)store->path, L"\\*"}))
        return;
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW(pattern, &found);
    if (find == INVALID_HANDLE_VALUE)
        return;
    do {
        ULONGLONG number = ParseNumber(found.cFileName);
        if (number && (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
            !(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
            InsertNumber(store, number);
    } while (FindNextFileW(find, &found));
    FindClose(find);
}

int OpenRecordStore(RecordStore *store, int make)
{
    store->folder = INVALID_HANDLE_VALUE;
    store->listed = 0;
    store->next = 0;
    // The base folder is held while the store is open, so that it can be
    // neither moved away nor replaced between the checks and the use.
    store->base = HoldBaseFolder(make);
    wchar_t base[kRecordPathSize] = {};
    if (store->base == INVALID_HANDLE_VALUE || !ComposeToolFolder(base, kRecordPathSize, L"\\") ||
        !ComposeText(store->path, kRecordPathSize, {(const wchar_t *)base, kRecordsFolderName})) {
        CloseRecordStore(store);
        return 0;
    }
    int held = HoldTrustedFolder(store->path, &store->folder);
    if (held == kFolderMissing && make) {
        CreateProtectedFolder(store->path);
        held = HoldTrustedFolder(store->path, &store->folder);
    }
    if (held == kFolderUntrusted && make && SetRecordsFolderAside(store->path)) {
        CreateProtectedFolder(store->path);
        held = HoldTrustedFolder(store->path, &store->folder);
    }
    // Held, the folders above it cannot be renamed; none may be a link either.
    if (held != kFolderHeld || PathHasReparsePoint(store->path)) {
        CloseRecordStore(store);
        return 0;
    }
    ListRecords(store);
    return 1;
}

void CloseRecordStore(RecordStore *store)
{
    if (store->folder != INVALID_HANDLE_VALUE)
        CloseHandle(store->folder);
    store->folder = INVALID_HANDLE_VALUE;
    if (store->base != INVALID_HANDLE_VALUE && store->base)
        CloseHandle(store->base);
    store->base = INVALID_HANDLE_VALUE;
    store->listed = 0;
}

int ComposeRecordPath(const RecordStore *store, wchar_t *path, ULONGLONG number,
                      const wchar_t *file)
{
    wchar_t digits[kDecimalSize] = {};
    if (store->folder == INVALID_HANDLE_VALUE || !FormatNumber(digits, number))
        return 0;
    if (!file)
        return ComposeText(path, kRecordPathSize,
                           {(const wchar_t *)store->path, L"\\", (const wchar_t *)digits});
    return ComposeText(path, kRecordPathSize,
                       {(const wchar_t *)store->path, L"\\", (const wchar_t *)digits, L"\\", file});
}

const wchar_t *ServerCopyName(int index)
{
    return index == 0 ? L"server.bin" : L"server2.bin";
}

// Milliseconds since 1601 (UTC): the first record's number, so numbers read
// as the time they began at. Only the first: the clock may be set back.
static ULONGLONG ClockNumber()
{
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return (((ULONGLONG)now.dwHighDateTime << 32) | now.dwLowDateTime) / 10000;
}

// The highest number of the tool's own records: a record that reads, or
// one a writer holds to itself. A folder somebody else made counts for
// nothing, whatever its number.
static ULONGLONG HighestOwnNumber(const RecordStore *store)
{
    static RecordVisit visit;
    visit.held = INVALID_HANDLE_VALUE;
    ULONGLONG highest = 0;
    for (int i = 0; !highest && i < store->listed; i++) {
        if (VisitRecord(store, store->numbers[i], &visit) && (visit.busy || visit.readable))
            highest = store->numbers[i];
    }
    EndVisit(&visit);
    return highest;
}

int CreateRecordFolder(RecordStore *store, ULONGLONG *number)
{
    // A folder that exists already is never taken over: the next number is.
    // Past the largest number a name holds, or with every number after the
    // highest taken, the numbers below it are tried: a free one is found, and
    // still among the newest, so pruning keeps it.
    ULONGLONG highest = HighestOwnNumber(store);
    ULONGLONG base = highest ? highest : ClockNumber() - 1;
    for (int down = 0; down < 2; down++) {
        for (ULONGLONG step = 1; step <= (ULONGLONG)kRecordTries; step++) {
            ULONGLONG next = down ? base - step : base + step;
            wchar_t path[kRecordPathSize] = {};
            // Below 1, or beyond the digits a record's name has, is no number.
            if ((down && step >= base) || !ComposeRecordPath(store, path, next, NULL))
                break;
            if (CreateProtectedFolder(path)) {
                *number = next;
                InsertNumber(store, next);
                return 1;
            }
            if (GetLastError() != ERROR_ALREADY_EXISTS)
                return 0;
        }
    }
    return 0;
}

HANDLE OpenRecordFile(const RecordStore *store, ULONGLONG number, const wchar_t *file, DWORD access,
                      DWORD share, DWORD disposition)
{
    wchar_t path[kRecordPathSize] = {};
    if (!ComposeRecordPath(store, path, number, file))
        return INVALID_HANDLE_VALUE;
    HANDLE opened = CreateFileW(path, access, share, NULL, disposition,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, NULL);
    if (opened == INVALID_HANDLE_VALUE)
        return opened;
    BY_HANDLE_FILE_INFORMATION info = {};
    if (!GetFileInformationByHandle(opened, &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY))) {
        CloseHandle(opened);
        return INVALID_HANDLE_VALUE;
    }
    return opened;
}

HANDLE TakeRecordState(const RecordStore *store, ULONGLONG number)
{
    return OpenRecordFile(store, number, kRecordStateFile, GENERIC_READ | GENERIC_WRITE,
                          FILE_SHARE_READ, OPEN_EXISTING);
}

// ---- the state file ---------------------------------------------------------------
//
// UTF-16 lines "name=value" in the order of the table. A text holding a
// character a line cannot hold as it stands (a line break, any control
// character) is written "name#=" with each UTF-16 unit in four hex digits.
// Records written before a line existed lack it: the table says which lines
// every record has.

enum FieldKind {
    kMarkField = 0, // "0" or "1"
    kTextField = 1,
    kViewField = 2, // "32", "64", or empty: not written down
};
struct StateField {
    const wchar_t *name;
    int kind;
    int required;
    size_t offset; // of the member in RecordState
    size_t cap;    // characters, for a text
};
#define MARK_FIELD(name, mark)                                                                     \
    {                                                                                              \
        name, kMarkField, mark < kMarkUnregistering, offsetof(RecordState, marks[mark]), 0         \
    }
#define TEXT_FIELD(name, member, required, cap)                                                    \
    {                                                                                              \
        name, kTextField, required, offsetof(RecordState, member), cap                             \
    }
static const StateField kStateFields[] = {
    // The step marks come first: they are set in place.
    MARK_FIELD(L"keys", kMarkKeys),
    MARK_FIELD(L"unregister", kMarkUnregister),
    MARK_FIELD(L"file", kMarkFile),
    TEXT_FIELD(L"progid", progId, 1, kKeyNameSize),
    TEXT_FIELD(L"clsid", clsid, 1, kDefaultValueSize),
    TEXT_FIELD(L"server", servers[0].path, 1, kServerPathSize),
    TEXT_FIELD(L"time", time, 1, kRecordTimeChars),
    {L"copy", kMarkField, 1, offsetof(RecordState, servers[0].copied), 0},
    {L"whole", kMarkField, 1, offsetof(RecordState, whole), 0},
    {L"view", kViewField, 0, offsetof(RecordState, servers[0].view), 0},
    MARK_FIELD(L"unregistering", kMarkUnregistering),
    MARK_FIELD(L"overtaken", kMarkOvertaken),
    TEXT_FIELD(L"server2", servers[1].path, 0, kServerPathSize),
    {L"copy2", kMarkField, 0, offsetof(RecordState, servers[1].copied), 0},
    {L"view2", kViewField, 0, offsetof(RecordState, servers[1].view), 0},
};
#undef MARK_FIELD
#undef TEXT_FIELD
const int kStateFieldCount = sizeof(kStateFields) / sizeof(kStateFields[0]);

static int *FieldNumber(RecordState *state, const StateField *field)
{
    return (int *)((BYTE *)state + field->offset);
}

static wchar_t *FieldText(RecordState *state, const StateField *field)
{
    return (wchar_t *)((BYTE *)state + field->offset);
}

static int NeedsEscape(const wchar_t *text)
{
    for (; *text; text++) {
        if (*text < 0x20)
            return 1;
    }
    return 0;
}

// Appends "name=value\r\n" (or its escaped form) to text (kRecordStateChars).
static int AppendField(wchar_t *text, const StateField *field, RecordState *state)
{
    wchar_t number[kDecimalSize] = {};
    const wchar_t *value = number;
    if (field->kind == kTextField)
        value = FieldText(state, field);
    else if (field->kind == kMarkField)
        number[0] = *FieldNumber(state, field) ? L'1' : L'0';
    else if (*FieldNumber(state, field))
        FormatDecimal(number, kDecimalSize, *FieldNumber(state, field));
    int escape = NeedsEscape(value);
    if (!AppendText(text, kRecordStateChars, field->name) ||
        !AppendText(text, kRecordStateChars, escape ? L"#=" : L"="))
        return 0;
    for (const wchar_t *p = value; escape && *p; p++) {
        static const wchar_t kHex[] = L"0123456789abcdef";
        wchar_t unit[] = {kHex[(*p >> 12) & 15], kHex[(*p >> 8) & 15], kHex[(*p >> 4) & 15],
                          kHex[*p & 15], 0};
        if (!AppendText(text, kRecordStateChars, (const wchar_t *)unit))
            return 0;
    }
    return (escape || AppendText(text, kRecordStateChars, value)) &&
           AppendText(text, kRecordStateChars, L"\r\n");
}

// Written in one piece; the second server's lines only when there is one.
int WriteRecordState(HANDLE file, const RecordState *state)
{
    static wchar_t text[kRecordStateChars];
    static RecordState copy;
    copy = *state;
    int ok = CopyText(text, kRecordStateChars, L"\xFEFF");
    for (int i = 0; ok && i < kStateFieldCount; i++) {
        const StateField *field = &kStateFields[i];
        if (!field->required && field->offset >= offsetof(RecordState, servers[1]) &&
            field->offset < offsetof(RecordState, marks) && !copy.servers[1].path[0])
            continue;
        ok = AppendField(text, field, &copy);
    }
    DWORD bytes = (DWORD)(TextLength(text) * sizeof(wchar_t));
    DWORD written = 0;
    return ok && WriteFile(file, text, bytes, &written, NULL) && written == bytes;
}

static int HexValue(wchar_t c)
{
    if (c >= L'0' && c <= L'9')
        return c - L'0';
    if (c >= L'a' && c <= L'f')
        return c - L'a' + 10;
    return -1;
}

// Takes a value written escaped; 0 when it is not four hex digits a unit or
// does not fit.
static int TakeEscaped(const wchar_t *hex, wchar_t *value, size_t cap)
{
    size_t n = 0;
    for (; hex[0]; hex += 4) {
        int unit = 0;
        for (int i = 0; i < 4; i++) {
            int digit = HexValue(hex[i]);
            if (digit < 0)
                return 0;
            unit = unit * 16 + digit;
        }
        if (n + 1 >= cap || unit == 0)
            return 0;
        value[n++] = (wchar_t)unit;
    }
    value[n] = 0;
    return 1;
}

// Takes one line into its field; the field's index, or -1 when the line is
// no field's or its value is not one the field takes.
static int TakeLine(const wchar_t *line, RecordState *state)
{
    for (int i = 0; i < kStateFieldCount; i++) {
        const StateField *field = &kStateFields[i];
        size_t n = TextLength(field->name);
        if (!StartsWithChars(line, field->name, n))
            continue;
        const wchar_t *value = line + n;
        int escaped = value[0] == L'#';
        if (*(value += escaped) != L'=')
            continue;
        value++;
        if (field->kind == kTextField) {
            wchar_t *text = FieldText(state, field);
            int taken =
                escaped ? TakeEscaped(value, text, field->cap) : CopyText(text, field->cap, value);
            return taken ? i : -1;
        }
        int *number = FieldNumber(state, field);
        if (field->kind == kMarkField && (value[0] == L'0' || value[0] == L'1') && !value[1])
            *number = value[0] == L'1';
        else if (field->kind == kViewField &&
                 (!value[0] || !wcscmp(value, L"32") || !wcscmp(value, L"64")))
            *number = value[0] ? (value[0] == L'3' ? kView32 : kView64) : 0;
        else
            return -1;
        return i;
    }
    return -1;
}

// Reads a record's state; 0 when it cannot be read whole. Lines the table
// does not know are passed over, so a later version's record still reads.
static int ReadRecordState(HANDLE file, RecordState *state)
{
    static wchar_t text[kRecordStateChars];
    ZeroMemory(state, sizeof(*state));
    DWORD got = 0;
    BOOL read = ReadFile(file, text, sizeof(text) - sizeof(wchar_t), &got, NULL);
    // A file cut short (its writer died) lacks lines and is no record.
    if (!read || got % sizeof(wchar_t) || got < sizeof(wchar_t) || text[0] != 0xFEFF)
        return 0;
    text[got / sizeof(wchar_t)] = 0;
    int seen[kStateFieldCount] = {};
    wchar_t *line = text + 1;
    for (wchar_t *p = line; *p; p++) {
        if (p[0] != L'\r' || p[1] != L'\n')
            continue;
        *p = 0;
        int field = TakeLine(line, state);
        if (field >= 0)
            seen[field] = 1;
        line = p + 2;
    }
    for (int i = 0; i < kStateFieldCount; i++) {
        if (kStateFields[i].required && !seen[i])
            return 0;
    }
    return state->progId[0] != 0;
}

int SetRecordMark(HANDLE file, int mark)
{
    static wchar_t text[kRecordStateChars];
    if (file == INVALID_HANDLE_VALUE || mark < 0 || mark >= kMarkCount)
        return 0;
    const wchar_t *name = kStateFields[0].name;
    size_t offset = offsetof(RecordState, marks) + mark * sizeof(int);
    for (const StateField &field : kStateFields) {
        if (field.kind == kMarkField && field.offset == offset)
            name = field.name;
    }
    DWORD got = 0;
    OVERLAPPED start = {};
    // A state file longer than the tool writes one is not marked (nor added to).
    if (!ReadFile(file, text, sizeof(text) - sizeof(wchar_t), &got, &start) ||
        got % sizeof(wchar_t) || got == sizeof(text) - sizeof(wchar_t))
        return 0;
    size_t length = got / sizeof(wchar_t);
    text[length] = 0;
    size_t n = TextLength(name);
    // A line starts after the byte order mark or after a line break.
    for (size_t at = 1; at + n + 1 < length; at++) {
        if ((at == 1 || text[at - 1] == L'\n') && StartsWithChars(text + at, name, n) &&
            text[at + n] == L'=') {
            OVERLAPPED digit = {};
            digit.Offset = (DWORD)((at + n + 1) * sizeof(wchar_t));
            const wchar_t one = L'1';
            DWORD written = 0;
            return WriteFile(file, &one, sizeof(one), &written, &digit) && written == sizeof(one);
        }
    }
    wchar_t line[32] = {};
    if (!ComposeText(line, 32, {name, L"=1\r\n"}))
        return 0;
    OVERLAPPED end = {};
    end.Offset = got;
    DWORD bytes = (DWORD)(TextLength(line) * sizeof(wchar_t)), written = 0;
    return WriteFile(file, line, bytes, &written, &end) && written == bytes;
}

int RecordIsDone(const RecordState *state)
{
    return state->marks[kMarkKeys] &&
           (state->marks[kMarkUnregister] || state->marks[kMarkUnregistering]) &&
           state->marks[kMarkFile];
}

int RecordIsClosed(const RecordState *state)
{
    return state->marks[kMarkOvertaken] || RecordIsDone(state);
}

// ---- the iterator ----------------------------------------------------------------------

void EndVisit(RecordVisit *visit)
{
    if (visit->held != INVALID_HANDLE_VALUE && visit->held)
        CloseHandle(visit->held);
    visit->held = INVALID_HANDLE_VALUE;
}

int VisitRecord(const RecordStore *store, ULONGLONG number, RecordVisit *visit)
{
    EndVisit(visit);
    visit->number = number;
    visit->readable = 0;
    visit->busy = 0;
    wchar_t path[kRecordPathSize] = {};
    if (!ComposeRecordPath(store, path, number, NULL))
        return 0;
    int held = HoldTrustedFolder(path, &visit->held);
    // A removal under way holds its record's folder to itself.
    if (held == kFolderMissing && GetLastError() == ERROR_SHARING_VIOLATION) {
        visit->busy = 1;
        return 1;
    }
    if (held != kFolderHeld)
        return 0;
    HANDLE file = OpenRecordFile(store, number, kRecordStateFile, GENERIC_READ,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
    visit->readable = file != INVALID_HANDLE_VALUE && ReadRecordState(file, &visit->state);
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    return 1;
}

int NextRecord(RecordStore *store, RecordVisit *visit)
{
    while (store->next < store->listed) {
        if (VisitRecord(store, store->numbers[store->next++], visit))
            return 1;
    }
    EndVisit(visit);
    return 0;
}

HANDLE HoldNewRecord(const RecordStore *store, ULONGLONG number)
{
    wchar_t path[kRecordPathSize] = {};
    if (!ComposeRecordPath(store, path, number, NULL))
        return INVALID_HANDLE_VALUE;
    return CreateFileW(path, FILE_LIST_DIRECTORY | READ_CONTROL | SYNCHRONIZE, 0, NULL,
                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                       NULL);
}

// ---- the server files -----------------------------------------------------------------

int ServerFileForProcess(const RecordServer *server, wchar_t *path)
{
    return PathForProcess(server->path, server->view, path, kServerPathSize);
}

static BYTE g_chunk[kCopyChunkBytes];
static BYTE g_otherChunk[kCopyChunkBytes];

int CopyFileBytes(HANDLE from, HANDLE to, ULONGLONG *bytes)
{
    *bytes = 0;
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(from, g_chunk, kCopyChunkBytes, &got, NULL))
            return 0;
        if (got == 0)
            return 1;
        DWORD written = 0;
        if (!WriteFile(to, g_chunk, got, &written, NULL) || written != got)
            return 0;
        *bytes += got;
    }
}

// Reads until size bytes are in or the file ends; the bytes read.
static DWORD ReadFull(HANDLE file, BYTE *buffer, DWORD size)
{
    DWORD total = 0;
    while (total < size) {
        DWORD got = 0;
        if (!ReadFile(file, buffer + total, size - total, &got, NULL) || got == 0)
            break;
        total += got;
    }
    return total;
}

int IsRecordedFile(const RecordStore *store, ULONGLONG number, int index, const wchar_t *path)
{
    HANDLE copy = OpenRecordFile(store, number, ServerCopyName(index), GENERIC_READ,
                                 FILE_SHARE_READ, OPEN_EXISTING);
    HANDLE file =
        CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    NULL, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, NULL);
    int same = copy != INVALID_HANDLE_VALUE && file != INVALID_HANDLE_VALUE;
    while (same) {
        DWORD gotCopy = ReadFull(copy, g_chunk, kCopyChunkBytes);
        DWORD gotFile = ReadFull(file, g_otherChunk, kCopyChunkBytes);
        same = gotCopy == gotFile && memcmp(g_chunk, g_otherChunk, gotCopy) == 0;
        if (gotCopy == 0)
            break;
    }
    if (copy != INVALID_HANDLE_VALUE)
        CloseHandle(copy);
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    return same;
}

// ---- deletion and the bound -------------------------------------------------------------

static void DeleteRecordFile(const RecordStore *store, ULONGLONG number, const wchar_t *file)
{
    wchar_t path[kRecordPathSize] = {};
    if (ComposeRecordPath(store, path, number, file))
        DeleteFileW(path);
}

int DeleteRecord(const RecordStore *store, ULONGLONG number)
{
    // A record whose state file is open (a restore or completion works on
    // it) is left whole.
    wchar_t state[kRecordPathSize] = {};
    if (!ComposeRecordPath(store, state, number, kRecordStateFile) ||
        (!DeleteFileW(state) && GetLastError() != ERROR_FILE_NOT_FOUND))
        return 0;
    DeleteRecordFile(store, number, kRecordKeysFile);
    for (int i = 0; i < kRecordServers; i++)
        DeleteRecordFile(store, number, ServerCopyName(i));
    wchar_t path[kRecordPathSize] = {};
    return ComposeRecordPath(store, path, number, NULL) && RemoveDirectoryW(path);
}

// The sizes of the record's files together.
static ULONGLONG RecordBytes(const RecordStore *store, ULONGLONG number)
{
    wchar_t pattern[kRecordPathSize] = {};
    if (!ComposeRecordPath(store, pattern, number, L"*"))
        return 0;
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW(pattern, &found);
    if (find == INVALID_HANDLE_VALUE)
        return 0;
    ULONGLONG bytes = 0;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            bytes += ((ULONGLONG)found.nFileSizeHigh << 32) | found.nFileSizeLow;
    } while (FindNextFileW(find, &found));
    FindClose(find);
    return bytes;
}

// The closed records this process has looked at already, with their sizes:
// a batch looks only at the records that are new to it.
struct KnownRecord {
    ULONGLONG number;
    ULONGLONG bytes;
};
static KnownRecord g_known[kListedRecords];
static int g_knownCount;

static KnownRecord *FindKnown(ULONGLONG number)
{
    for (int i = 0; i < g_knownCount; i++) {
        if (g_known[i].number == number)
            return &g_known[i];
    }
    return NULL;
}

// Only closed records that read whole are pruned: one that does not read
// may be written by another process right now (before it holds its
// folder) or be a damaged one somebody wants to look at.
void PruneRecords()
{
    static RecordStore store;
    static RecordVisit visit;
    static KnownRecord kept[kListedRecords];
    if (!OpenRecordStore(&store, 0))
        return;
    int keptCount = 0, beyond = 0;
    ULONGLONG keptBytes = 0;
    visit.held = INVALID_HANDLE_VALUE;
    for (int i = 0; i < store.listed; i++) {
        ULONGLONG number = store.numbers[i];
        KnownRecord *known = FindKnown(number);
        KnownRecord record = {number, known ? known->bytes : 0};
        if (!known) {
            if (!VisitRecord(&store, number, &visit) || visit.busy || !visit.readable ||
                !RecordIsClosed(&visit.state))
                continue;
            record.bytes = RecordBytes(&store, number);
            EndVisit(&visit);
        }
        // Once one does not fit, every older one goes as well.
        beyond = beyond || (keptCount > 0 && (keptCount >= kKeptRecords ||
                                              keptBytes + record.bytes > kKeptRecordBytes));
        if (!beyond) {
            kept[keptCount++] = record;
            keptBytes += record.bytes;
        } else {
            DeleteRecord(&store, number);
        }
    }
    EndVisit(&visit);
    for (int i = 0; i < keptCount; i++)
        g_known[i] = kept[i];
    g_knownCount = keptCount;
    CloseRecordStore(&store);
}
