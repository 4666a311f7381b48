// The records folder C:\OrviActiveX\removals and the records in it, each a
// folder named by the time of its removal (milliseconds since 1601, 15
// digits), with its state file. Only what the tool made is used: no reparse
// point on the way, a protected DACL, and held open while it is used, so it
// can be neither renamed nor swapped meanwhile.
#include "controls/records.h"

#include "base/text.h"
#include "register/protected_folder.h"

static const wchar_t kRecordsFolderName[] = L"removals";
const size_t kNumberDigits = 15;
// Numbers tried after the one of the current time before giving up.
const int kRecordTries = 100;

// The state file's lines; the steps come first, each "name=0" or "name=1",
// so a step is marked by writing one character in place.
static const wchar_t *const kStepNames[kStepCount] = {L"keys", L"unregister", L"file"};

static wchar_t g_recordsPath[kRecordPathSize]; // without a trailing backslash
static HANDLE g_recordsFolder = INVALID_HANDLE_VALUE;

enum HoldResult {
    kFolderHeld = 0,
    kFolderMissing = 1,   // could not be opened
    kFolderUntrusted = 2, // a reparse point, no folder, or not protected
};

// Opens a folder as itself, without delete sharing.
static int HoldFolder(const wchar_t *path, HANDLE *held)
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

ULONGLONG RecordNumberNow()
{
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return (((ULONGLONG)now.dwHighDateTime << 32) | now.dwLowDateTime) / 10000;
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

// A folder the tool did not make is renamed out of the way, never used: it
// may have been made before the tool's own by anybody who can write to the
// base folder.
static int SetRecordsFolderAside()
{
    wchar_t digits[kDecimalSize] = {};
    wchar_t aside[kRecordPathSize] = {};
    return FormatNumber(digits, RecordNumberNow()) &&
           ComposeText(
               aside, kRecordPathSize,
               {(const wchar_t *)g_recordsPath, L".", (const wchar_t *)digits, L".untrusted"}) &&
           MoveFileW(g_recordsPath, aside);
}

int HoldRecordsFolder(int make)
{
    ReleaseRecordsFolder();
    wchar_t base[kRecordPathSize] = {};
    if (!ComposeToolFolder(base, kRecordPathSize, L"\\") ||
        !ComposeText(g_recordsPath, kRecordPathSize, {(const wchar_t *)base, kRecordsFolderName}))
        return 0;
    int held = HoldFolder(g_recordsPath, &g_recordsFolder);
    if (held == kFolderMissing && make) {
        HANDLE baseFolder = HoldBaseFolder();
        if (baseFolder != INVALID_HANDLE_VALUE)
            CreateProtectedFolder(g_recordsPath);
        held = HoldFolder(g_recordsPath, &g_recordsFolder);
        if (baseFolder != INVALID_HANDLE_VALUE)
            CloseHandle(baseFolder);
    }
    if (held == kFolderUntrusted && make && SetRecordsFolderAside()) {
        CreateProtectedFolder(g_recordsPath);
        held = HoldFolder(g_recordsPath, &g_recordsFolder);
    }
    // Held, the folders above it cannot be renamed; none may be a link either.
    if (held == kFolderHeld && PathHasReparsePoint(g_recordsPath))
        ReleaseRecordsFolder();
    return g_recordsFolder != INVALID_HANDLE_VALUE;
}

void ReleaseRecordsFolder()
{
    if (g_recordsFolder != INVALID_HANDLE_VALUE)
        CloseHandle(g_recordsFolder);
    g_recordsFolder = INVALID_HANDLE_VALUE;
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

// Puts number into the list (newest first); beyond cap the oldest drops out.
static int InsertNumber(ULONGLONG *numbers, int count, int cap, ULONGLONG number)
{
    int at = count;
    while (at > 0 && numbers[at - 1] < number)
        at--;
    if (at >= cap)
        return count;
    int last = count < cap ? count : cap - 1;
    for (int i = last; i > at; i--)
        numbers[i] = numbers[i - 1];
    numbers[at] = number;
    return count < cap ? count + 1 : count;
}

int ListRecords(ULONGLONG *numbers, int cap)
{
    wchar_t pattern[kRecordPathSize] = {};
    if (g_recordsFolder == INVALID_HANDLE_VALUE ||
        !ComposeText(pattern, kRecordPathSize, {(const wchar_t *)g_recordsPath, L"\\*"}))
        return 0;
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW(pattern, &found);
    if (find == INVALID_HANDLE_VALUE)
        return 0;
    int count = 0;
    do {
        ULONGLONG number = ParseNumber(found.cFileName);
        if (number && (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
            !(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
            count = InsertNumber(numbers, count, cap, number);
    } while (FindNextFileW(find, &found));
    FindClose(find);
    return count;
}

int ComposeRecordPath(wchar_t *path, ULONGLONG number, const wchar_t *file)
{
    wchar_t digits[kDecimalSize] = {};
    if (!FormatNumber(digits, number))
        return 0;
    if (!file)
        return ComposeText(path, kRecordPathSize,
                           {(const wchar_t *)g_recordsPath, L"\\", (const wchar_t *)digits});
    return ComposeText(
        path, kRecordPathSize,
        {(const wchar_t *)g_recordsPath, L"\\", (const wchar_t *)digits, L"\\", file});
}

int CreateRecordFolder(ULONGLONG *number)
{
    if (g_recordsFolder == INVALID_HANDLE_VALUE)
        return 0;
    // A folder that exists already is never taken over: the next number is.
    ULONGLONG next = RecordNumberNow();
    for (int i = 0; i < kRecordTries; i++, next++) {
        wchar_t path[kRecordPathSize] = {};
        if (!ComposeRecordPath(path, next, NULL))
            return 0;
        if (CreateProtectedFolder(path)) {
            *number = next;
            return 1;
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS)
            return 0;
    }
    return 0;
}

HANDLE HoldRecord(ULONGLONG number)
{
    wchar_t path[kRecordPathSize] = {};
    HANDLE held = INVALID_HANDLE_VALUE;
    if (g_recordsFolder != INVALID_HANDLE_VALUE && ComposeRecordPath(path, number, NULL))
        HoldFolder(path, &held);
    return held;
}

HANDLE OpenRecordFile(ULONGLONG number, const wchar_t *file, DWORD access, DWORD share,
                      DWORD disposition)
{
    wchar_t path[kRecordPathSize] = {};
    if (!ComposeRecordPath(path, number, file))
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

// ---- the state file ---------------------------------------------------------------

static int AppendLine(wchar_t *text, const wchar_t *name, const wchar_t *value)
{
    return AppendText(text, kRecordStateChars, name) && AppendText(text, kRecordStateChars, L"=") &&
           AppendText(text, kRecordStateChars, value) &&
           AppendText(text, kRecordStateChars, L"\r\n");
}

// Written in one piece.
int WriteRecordState(HANDLE file, const RecordState *state)
{
    static wchar_t text[kRecordStateChars];
    int ok = CopyText(text, kRecordStateChars, L"\xFEFF");
    for (int step = 0; step < kStepCount; step++)
        ok = ok && AppendLine(text, kStepNames[step], state->steps[step] ? L"1" : L"0");
    ok = ok && AppendLine(text, L"progid", state->progId) &&
         AppendLine(text, L"clsid", state->clsid) &&
         AppendLine(text, L"server", state->serverPath) && AppendLine(text, L"time", state->time) &&
         AppendLine(text, L"copy", state->copied ? L"1" : L"0") &&
         AppendLine(text, L"whole", state->whole ? L"1" : L"0");
    DWORD bytes = (DWORD)(TextLength(text) * sizeof(wchar_t));
    DWORD written = 0;
    return ok && WriteFile(file, text, bytes, &written, NULL) && written == bytes;
}

// Where the digit of step lies in the file, in bytes.
static DWORD StepOffset(int step)
{
    size_t chars = 1; // the byte order mark
    for (int i = 0; i < step; i++)
        chars += TextLength(kStepNames[i]) + 4; // "=0\r\n"
    return (DWORD)((chars + TextLength(kStepNames[step]) + 1) * sizeof(wchar_t));
}

int MarkRecordStep(HANDLE file, int step)
{
    if (file == INVALID_HANDLE_VALUE || step < 0 || step >= kStepCount)
        return 0;
    OVERLAPPED at = {};
    at.Offset = StepOffset(step);
    const wchar_t one = L'1';
    DWORD written = 0;
    return WriteFile(file, &one, sizeof(one), &written, &at) && written == sizeof(one);
}

// Copies the value of line (after "name=") into value; 0 when it is not
// that line or the value does not fit.
static int TakeValue(const wchar_t *line, const wchar_t *name, wchar_t *value, size_t cap)
{
    size_t n = TextLength(name);
    if (!StartsWithChars(line, name, n) || line[n] != L'=')
        return 0;
    return CopyText(value, cap, line + n + 1);
}

static int TakeFlag(const wchar_t *line, const wchar_t *name, int *flag)
{
    wchar_t value[2] = {};
    if (!TakeValue(line, name, value, 2) || (value[0] != L'0' && value[0] != L'1'))
        return 0;
    *flag = value[0] == L'1';
    return 1;
}

// Takes one line of the state; returns the bit of the field it filled, 0 for none.
static int TakeLine(const wchar_t *line, RecordState *state)
{
    for (int step = 0; step < kStepCount; step++) {
        if (TakeFlag(line, kStepNames[step], &state->steps[step]))
            return 1 << step;
    }
    if (TakeValue(line, L"progid", state->progId, kKeyNameSize))
        return 1 << 3;
    if (TakeValue(line, L"clsid", state->clsid, kDefaultValueSize))
        return 1 << 4;
    if (TakeValue(line, L"server", state->serverPath, kServerPathSize))
        return 1 << 5;
    if (TakeValue(line, L"time", state->time, kRecordTimeChars))
        return 1 << 6;
    if (TakeFlag(line, L"copy", &state->copied))
        return 1 << 7;
    if (TakeFlag(line, L"whole", &state->whole))
        return 1 << 8;
    return 0;
}
const int kAllStateFields = (1 << 9) - 1;

int ReadRecordState(ULONGLONG number, RecordState *state)
{
    static wchar_t text[kRecordStateChars];
    HANDLE file = OpenRecordFile(number, kRecordStateFile, GENERIC_READ,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    DWORD got = 0;
    BOOL read = ReadFile(file, text, sizeof(text) - sizeof(wchar_t), &got, NULL);
    CloseHandle(file);
    // A file cut short (its writer died) lacks fields and is no record.
    if (!read || got % sizeof(wchar_t) || got < sizeof(wchar_t) || text[0] != 0xFEFF)
        return 0;
    text[got / sizeof(wchar_t)] = 0;
    int fields = 0;
    wchar_t *line = text + 1;
    for (wchar_t *p = line; *p; p++) {
        if (p[0] != L'\r' || p[1] != L'\n')
            continue;
        *p = 0;
        fields |= TakeLine(line, state);
        line = p + 2;
    }
    return fields == kAllStateFields && state->progId[0];
}

int RecordIsDone(const RecordState *state)
{
    for (int step = 0; step < kStepCount; step++) {
        if (!state->steps[step])
            return 0;
    }
    return 1;
}

int ForEachRecord(void (*found)(const RecordState *state, void *context), void *context)
{
    static ULONGLONG numbers[kListedRecords];
    static RecordState state;
    if (!HoldRecordsFolder(0))
        return 0;
    int listed = ListRecords(numbers, kListedRecords);
    int count = 0;
    for (int i = 0; i < listed; i++) {
        HANDLE record = HoldRecord(numbers[i]);
        if (record == INVALID_HANDLE_VALUE)
            continue;
        if (ReadRecordState(numbers[i], &state)) {
            found(&state, context);
            count++;
        }
        CloseHandle(record);
    }
    ReleaseRecordsFolder();
    return count;
}
