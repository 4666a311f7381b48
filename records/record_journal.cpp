// The record of the removal under way, written whole before anything is
// deleted, its steps marked as they are done; and a removal cut short (its
// process died on the way) finished from its record, so that no server file
// is left on disk without a key by which any tool could find it. What is
// installed now is never what a completion deletes.
#include "records/records.h"

#include "base/text.h"
#include "register/register.h"

// The record of this process's removal under way: its store, its folder
// held to itself, and the state file held without write sharing until the
// removal ends, so another process sees that the removal is still running.
static RecordStore g_store;
static HANDLE g_recordFolder = INVALID_HANDLE_VALUE;

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

// "2024-05-06 10:11:12", local time: for people only, nothing is ordered by it.
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

// A copy of a server file as it is now; 0 when it cannot be read (gone, or
// held open by another process without sharing).
static int CopyServerFile(ULONGLONG number, int index, const RecordServer *server)
{
    wchar_t path[kServerPathSize] = {};
    if (!ServerFileForProcess(server, path))
        return 0;
    HANDLE from =
        CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    NULL, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, NULL);
    if (from == INVALID_HANDLE_VALUE)
        return 0;
    HANDLE to =
        OpenRecordFile(&g_store, number, ServerCopyName(index), GENERIC_WRITE, 0, CREATE_NEW);
    ULONGLONG bytes = 0;
    int copied = to != INVALID_HANDLE_VALUE && CopyFileBytes(from, to, &bytes);
    CloseHandle(from);
    if (to != INVALID_HANDLE_VALUE)
        CloseHandle(to);
    wchar_t copyPath[kRecordPathSize] = {};
    if (!copied && ComposeRecordPath(&g_store, copyPath, number, ServerCopyName(index)))
        DeleteFileW(copyPath);
    return copied;
}

// 1 when the file is there, or cannot be told to be gone (no file can have
// an invalid name).
static int ServerFileIsThere(const RecordServer *server)
{
    wchar_t path[kServerPathSize] = {};
    if (!ServerFileForProcess(server, path))
        return 1;
    DWORD error = GetFileAttributesW(path) == INVALID_FILE_ATTRIBUTES ? GetLastError() : 0;
    return error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND &&
           error != ERROR_INVALID_NAME;
}

int DeleteServerFile(const RecordServer *server)
{
    wchar_t path[kServerPathSize] = {};
    if (!ServerFileForProcess(server, path))
        return 0;
    if (DeleteFileW(path))
        return 1;
    DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
        error == ERROR_INVALID_NAME)
        return 1;
    // A read-only file is kept, as it always was; the removal is no less
    // done for it, and its record must be closed to be restored.
    DWORD attributes = GetFileAttributesW(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY) &&
           (attributes & FILE_ATTRIBUTE_READONLY);
}

static int ExportKeys(const RemovalPlan *plan, ULONGLONG number, int *whole)
{
    HANDLE file = OpenRecordFile(&g_store, number, kRecordKeysFile, GENERIC_WRITE, 0, CREATE_NEW);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    ULONGLONG bytes = 0;
    int exported = ExportPlannedKeys(plan, file, whole, &bytes);
    CloseHandle(file);
    return exported;
}

static void LetGo(RemovalJournal *journal)
{
    if (journal->stateFile != INVALID_HANDLE_VALUE && journal->stateFile)
        CloseHandle(journal->stateFile);
    journal->stateFile = INVALID_HANDLE_VALUE;
    journal->number = 0;
    if (g_recordFolder != INVALID_HANDLE_VALUE)
        CloseHandle(g_recordFolder);
    g_recordFolder = INVALID_HANDLE_VALUE;
    CloseRecordStore(&g_store);
}

int BeginRemovalRecord(RemovalJournal *journal, const RemovalPlan *plan, const wchar_t *progId,
                       const wchar_t *clsid, const RecordServer *servers)
{
    static RecordState state;
    journal->number = 0;
    journal->stateFile = INVALID_HANDLE_VALUE;
    ZeroMemory(journal->copied, sizeof(journal->copied));
    ULONGLONG number = 0;
    if (!OpenRecordStore(&g_store, 1) || !CreateRecordFolder(&g_store, &number)) {
        LetGo(journal);
        return 0;
    }
    g_recordFolder = HoldNewRecord(&g_store, number);
    ZeroMemory(&state, sizeof(state));
    CopyText(state.progId, kKeyNameSize, progId);
    CopyText(state.clsid, kDefaultValueSize, clsid);
    FormatNow(state.time);
    int files = 0;
    for (int i = 0; i < kRecordServers; i++) {
        state.servers[i] = servers[i];
        state.servers[i].copied = servers[i].path[0] && CopyServerFile(number, i, &servers[i]);
        files += servers[i].path[0] != 0;
        journal->copied[i] =
            !servers[i].path[0] || state.servers[i].copied || !ServerFileIsThere(&servers[i]);
    }
    // Without a server file the file steps have nothing to do.
    state.marks[kMarkUnregister] = state.marks[kMarkFile] = files == 0;
    int whole = 0;
    int exported = g_recordFolder != INVALID_HANDLE_VALUE && ExportKeys(plan, number, &whole);
    state.whole = whole && plan->whole;
    // The state file is written last: a folder without one is no record, and
    // nothing is deleted before it is written whole.
    if (exported) {
        journal->stateFile =
            OpenRecordFile(&g_store, number, kRecordStateFile, GENERIC_READ | GENERIC_WRITE,
                           FILE_SHARE_READ, CREATE_NEW);
        if (journal->stateFile != INVALID_HANDLE_VALUE &&
            WriteRecordState(journal->stateFile, &state)) {
            journal->number = number;
            // Written whole, the record is for anybody to read; its state
            // file stays held.
            CloseHandle(g_recordFolder);
            g_recordFolder = INVALID_HANDLE_VALUE;
            return 1;
        }
    }
    DeleteRecord(&g_store, number);
    LetGo(journal);
    return 0;
}

// A file that cannot be looked at now (deleted, or waiting to be deleted
// when the last program holding it lets go) counts as gone.
int RecordHoldsGoneFiles(const RemovalJournal *journal, const RecordServer *servers)
{
    for (int i = 0; i < kRecordServers; i++) {
        wchar_t path[kServerPathSize] = {};
        if (!servers[i].path[0] || journal->copied[i])
            continue;
        if (!ServerFileForProcess(&servers[i], path) ||
            GetFileAttributesW(path) == INVALID_FILE_ATTRIBUTES)
            return 0;
    }
    return 1;
}

void MarkRemoval(RemovalJournal *journal, int mark)
{
    if (journal->number)
        SetRecordMark(journal->stateFile, mark);
}

void EndRemovalRecord(RemovalJournal *journal)
{
    LetGo(journal);
}

// ---- completion ------------------------------------------------------------------------

static int g_finishTried;

int RecordedControlIsRegistered(const RecordStore *store, ULONGLONG number,
                                const RecordState *state)
{
    return !KeyIsGone(HKEY_CLASSES_ROOT, state->progId, 0) ||
           (state->clsid[0] && CountRecordedKeys(store, number, {L"\\CLSID\\", state->clsid}, 1));
}

// A file at a server path that is not the one the record copied (or that
// the record holds no copy to tell by) is somebody's else now.
static int ServerFilesAreTheRecords(const RecordStore *store, ULONGLONG number,
                                    const RecordState *state)
{
    for (int i = 0; i < kRecordServers; i++) {
        wchar_t path[kServerPathSize] = {};
        if (!state->servers[i].path[0])
            continue;
        if (!ServerFileForProcess(&state->servers[i], path))
            return 0;
        if (GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES &&
            !(state->servers[i].copied && IsRecordedFile(store, number, i, path)))
            return 0;
    }
    return 1;
}

static void SetMark(HANDLE stateFile, RecordState *state, int mark)
{
    if (SetRecordMark(stateFile, mark))
        state->marks[mark] = 1;
}

static void FinishRecord(const RecordStore *store, ULONGLONG number, HANDLE stateFile,
                         RecordState *state)
{
    static wchar_t failedKey[kRecordKeyPathSize];
    // Looked at before any step: what is installed now is left whole.
    if (RecordedControlIsRegistered(store, number, state) ||
        !ServerFilesAreTheRecords(store, number, state)) {
        SetMark(stateFile, state, kMarkOvertaken);
        return;
    }
    int keys = 0;
    if (!state->marks[kMarkKeys]) {
        ActOnRecordKeys(store, number, kDeleteKeys, &keys, failedKey);
        if (ActOnRecordKeys(store, number, kCountKeys, &keys, failedKey) && keys == 0)
            SetMark(stateFile, state, kMarkKeys);
    }
    wchar_t paths[kRecordServers][kServerPathSize] = {};
    for (int i = 0; i < kRecordServers; i++) {
        if (state->servers[i].path[0])
            ServerFileForProcess(&state->servers[i], paths[i]);
    }
    // An unregistration started once and never come back is never started
    // again. Each file goes to the registrar of its class's view, as the
    // removal handed it.
    if (!state->marks[kMarkUnregister] && !state->marks[kMarkUnregistering]) {
        SetMark(stateFile, state, kMarkUnregistering);
        int ran = 1;
        for (int i = 0; i < kRecordServers; i++) {
            if (paths[i][0] && GetFileAttributesW(paths[i]) != INVALID_FILE_ATTRIBUTES)
                ran = UnregisterControlFileInView(state->servers[i].path, state->servers[i].view) &&
                      ran;
        }
        if (ran)
            SetMark(stateFile, state, kMarkUnregister);
    }
    if (!state->marks[kMarkFile]) {
        int gone = 1;
        for (int i = 0; i < kRecordServers; i++) {
            if (state->servers[i].path[0])
                gone = DeleteServerFile(&state->servers[i]) && gone;
        }
        if (gone)
            SetMark(stateFile, state, kMarkFile);
    }
}

int FinishInterruptedRemovals(void (*finished)(const RecordState *state, void *context),
                              void *context)
{
    static RecordStore store;
    static RecordVisit visit;
    if (g_finishTried)
        return 0;
    g_finishTried = 1;
    if (!OpenRecordStore(&store, 0))
        return 0;
    int count = 0;
    visit.held = INVALID_HANDLE_VALUE;
    while (NextRecord(&store, &visit)) {
        // A removal still under way holds its record: it is left to itself.
        if (visit.busy || !visit.readable || RecordIsClosed(&visit.state))
            continue;
        HANDLE stateFile = TakeRecordState(&store, visit.number);
        if (stateFile == INVALID_HANDLE_VALUE)
            continue;
        FinishRecord(&store, visit.number, stateFile, &visit.state);
        CloseHandle(stateFile);
        if (finished)
            finished(&visit.state, context);
        count++;
    }
    CloseRecordStore(&store);
    return count;
}
