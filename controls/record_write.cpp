// The record of the removal under way: written whole before anything is
// deleted, then its steps are marked as they are done.
#include "controls/records.h"

#include "base/text.h"

static RecordState g_state;
static ULONGLONG g_recordNumber; // 0: the removal under way has no record
static ULONGLONG g_recordBytes;
// Held without write sharing until the removal ends: another process that
// finds the record unfinished sees that its removal is still under way.
static HANDLE g_stateFile = INVALID_HANDLE_VALUE;

// Appends value in decimal with at least width digits.
static int AppendNumber(wchar_t *text, size_t cap, int value, int width, const wchar_t *after)
{
    wchar_t digits[kDecimalSize] = {};
    FormatDecimal(digits, kDecimalSize, value);
    for (int n = (int)TextLength(digits); n < width; n++) {
        if (!AppendText(text, cap, L"0"))
            return 0;
    }
    return AppendText(text, cap, (const wchar_t *)digits) && AppendText(text, cap, after);
}

// "2024-05-06 10:11:12", local time.
static void FormatNow(wchar_t *text)
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    text[0] = 0;
    if (!AppendNumber(text, kRecordTimeChars, now.wYear, 4, L"-") ||
        !AppendNumber(text, kRecordTimeChars, now.wMonth, 2, L"-") ||
        !AppendNumber(text, kRecordTimeChars, now.wDay, 2, L" ") ||
        !AppendNumber(text, kRecordTimeChars, now.wHour, 2, L":") ||
        !AppendNumber(text, kRecordTimeChars, now.wMinute, 2, L":") ||
        !AppendNumber(text, kRecordTimeChars, now.wSecond, 2, L""))
        text[0] = 0;
}

static int HoldsLineBreak(const wchar_t *text)
{
    return HoldsCharacter(text, L'\r') || HoldsCharacter(text, L'\n');
}

// A copy of the server file as it is now; 0 when it cannot be read (gone,
// or held open by another process without sharing).
static int CopyServerFile(ULONGLONG number, const wchar_t *serverPath, ULONGLONG *bytes)
{
    *bytes = 0;
    HANDLE from = CreateFileW(serverPath, GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                              OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, NULL);
    if (from == INVALID_HANDLE_VALUE)
        return 0;
    HANDLE to = OpenRecordFile(number, kRecordServerFile, GENERIC_WRITE, 0, CREATE_NEW);
    int copied = to != INVALID_HANDLE_VALUE && CopyFileBytes(from, to, bytes);
    CloseHandle(from);
    if (to != INVALID_HANDLE_VALUE)
        CloseHandle(to);
    wchar_t path[kRecordPathSize] = {};
    if (!copied && ComposeRecordPath(path, number, kRecordServerFile))
        DeleteFileW(path);
    return copied;
}

static int ExportKeys(ULONGLONG number, ULONGLONG *bytes)
{
    HANDLE file = OpenRecordFile(number, kRecordKeysFile, GENERIC_WRITE, 0, CREATE_NEW);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    int exported = ExportPlannedKeys(file, &g_state.whole, bytes);
    CloseHandle(file);
    return exported;
}

// The state file is written last: a folder without one is no record, and
// nothing is deleted before it is written whole.
static int WriteState(ULONGLONG number)
{
    g_stateFile = OpenRecordFile(number, kRecordStateFile, GENERIC_READ | GENERIC_WRITE,
                                 FILE_SHARE_READ, CREATE_NEW);
    if (g_stateFile == INVALID_HANDLE_VALUE)
        return 0;
    if (WriteRecordState(g_stateFile, &g_state))
        return 1;
    CloseHandle(g_stateFile);
    g_stateFile = INVALID_HANDLE_VALUE;
    return 0;
}

void BeginRemovalRecord(const wchar_t *progId, const wchar_t *clsid, const wchar_t *serverPath)
{
    EndRemovalRecord();
    // A line break would end a line of the state file early.
    if (HoldsLineBreak(progId) || HoldsLineBreak(clsid) || !HoldRecordsFolder(1))
        return;
    ULONGLONG number = 0;
    if (!CreateRecordFolder(&number)) {
        ReleaseRecordsFolder();
        return;
    }
    ZeroMemory(&g_state, sizeof(g_state));
    CopyText(g_state.progId, kKeyNameSize, progId);
    CopyText(g_state.clsid, kDefaultValueSize, clsid);
    // No file can be named by a path with a line break: none is deleted.
    if (!HoldsLineBreak(serverPath))
        CopyText(g_state.serverPath, kServerPathSize, serverPath);
    FormatNow(g_state.time);
    // Without a server file the file steps have nothing to do.
    g_state.steps[kStepUnregister] = g_state.steps[kStepFile] = !g_state.serverPath[0];

    ULONGLONG keysBytes = 0, serverBytes = 0;
    int exported = ExportKeys(number, &keysBytes);
    if (g_state.serverPath[0])
        g_state.copied = CopyServerFile(number, g_state.serverPath, &serverBytes);
    // The records folder stays held until the removal ends.
    if (exported && WriteState(number)) {
        g_recordNumber = number;
        g_recordBytes = keysBytes + serverBytes + GetFileSize(g_stateFile, NULL);
        return;
    }
    DeleteRecord(number);
    ReleaseRecordsFolder();
}

void MarkRemovalStep(int step)
{
    if (g_recordNumber)
        MarkRecordStep(g_stateFile, step);
}

void EndRemovalRecord()
{
    if (!g_recordNumber)
        return;
    CloseHandle(g_stateFile);
    g_stateFile = INVALID_HANDLE_VALUE;
    ULONGLONG number = g_recordNumber;
    g_recordNumber = 0;
    PruneRecords(number, g_recordBytes);
    ReleaseRecordsFolder();
}
