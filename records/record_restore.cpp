// A removal turned back from its record: the server files to their paths
// (never over a different file), then the keys, each to the view its path
// names. Never a removal still under way or never finished, and never over
// the control installed now. Records are read from the tool's records
// folder alone.
#include "records/records.h"

#include "base/text.h"
#include "register/register.h"

// 1 when the folder the path names is there.
static int FolderExists(const wchar_t *path)
{
    static wchar_t folder[kServerPathSize];
    size_t length = FolderPartLength(path);
    if (!length || !CopyText(folder, kServerPathSize, path))
        return 0;
    // A file at the root of a drive lies in the root (C:\), not in "C:".
    folder[length > 1 && folder[length - 2] == L':' ? length : length - 1] = 0;
    DWORD attributes = GetFileAttributesW(folder);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// What putting a server file back would meet, without doing anything: a
// file in place must be the removed one; without a copy in the record (the
// file could not be read at the removal, held open, say) there is nothing
// to tell it by, and the file there is taken as it is.
static int CheckServerFile(const RecordStore *store, ULONGLONG number, int index,
                           const RecordServer *server, const wchar_t *path)
{
    if (PathHasReparsePoint(path))
        return kRestoreLinkInPath;
    if (GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES)
        return !server->copied || IsRecordedFile(store, number, index, path) ? kRestored
                                                                             : kRestoreOtherFile;
    if (!server->copied)
        return kRestoreNoCopy;
    return FolderExists(path) ? kRestored : kRestoreNoFolder;
}

// Deletes the file behind handle (opened with DELETE), wherever it is now.
static int DeleteThroughHandle(HANDLE file)
{
    FILE_DISPOSITION_INFO gone = {TRUE};
    return SetFileInformationByHandle(file, FileDispositionInfo, &gone, sizeof(gone));
}

// Gives the file behind handle (opened with DELETE) the name path, never
// over a file there: the move is of this very file, whatever happened to
// the name it was made under.
static int MoveThroughHandle(HANDLE file, const wchar_t *path)
{
    static struct {
        FILE_RENAME_INFO info;
        wchar_t room[kServerPathSize];
    } rename;
    ZeroMemory(&rename, sizeof(rename));
    rename.info.ReplaceIfExists = FALSE;
    if (!CopyText(rename.info.FileName, kServerPathSize, path))
        return 0;
    rename.info.FileNameLength = (DWORD)(TextLength(path) * sizeof(wchar_t));
    return SetFileInformationByHandle(file, FileRenameInfo, &rename, sizeof(rename));
}

// Names tried for the copy beside the server file (one may be left by a
// restore that died).
const int kCopyNameTries = 10;

// Made new: never over anything that appeared there meanwhile. Written whole
// under a name of its own in the same folder first, flushed, then moved to
// the path without replacing, so a crash or a full disk never leaves part of
// a file under the control's name. The file made is held in *placed
// (INVALID_HANDLE_VALUE when one was there), so that only it can be taken
// away again.
static int CopyBack(const RecordStore *store, ULONGLONG number, int index, const wchar_t *path,
                    HANDLE *placed)
{
    static wchar_t partial[kServerPathSize];
    *placed = INVALID_HANDLE_VALUE;
    if (GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES)
        return kRestored;
    HANDLE copy = OpenRecordFile(store, number, ServerCopyName(index), GENERIC_READ,
                                 FILE_SHARE_READ, OPEN_EXISTING);
    if (copy == INVALID_HANDLE_VALUE)
        return kRestoreNoCopy;
    HANDLE file = INVALID_HANDLE_VALUE;
    for (int i = 0; file == INVALID_HANDLE_VALUE && i < kCopyNameTries; i++) {
        const wchar_t digit[] = {(wchar_t)(L'0' + i), 0};
        if (!ComposeText(partial, kServerPathSize, {path, L".restoring", digit}))
            break;
        file = CreateFileW(partial, GENERIC_WRITE | DELETE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                           NULL, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, NULL);
        if (file == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS)
            break;
    }
    ULONGLONG bytes = 0;
    int whole = file != INVALID_HANDLE_VALUE && CopyFileBytes(copy, file, &bytes) &&
                FlushFileBuffers(file) && MoveThroughHandle(file, path);
    CloseHandle(copy);
    if (whole) {
        *placed = file;
        return kRestored;
    }
    if (file != INVALID_HANDLE_VALUE) {
        DeleteThroughHandle(file);
        CloseHandle(file);
    }
    return kRestoreFileFailed;
}

// Lets go of the files this restore made; with undo, each is deleted
// through its own handle, so a file somebody else put there meanwhile stays.
static void LetGoOfCopies(HANDLE *placed, int undo, RestoreResult *result)
{
    result->fileCopied = 0;
    for (int i = 0; i < kRecordServers; i++) {
        if (placed[i] == INVALID_HANDLE_VALUE)
            continue;
        if (undo && DeleteThroughHandle(placed[i]))
            result->copiedBack[i] = 0;
        CloseHandle(placed[i]);
        placed[i] = INVALID_HANDLE_VALUE;
        result->fileCopied |= result->copiedBack[i];
    }
}

// Neither the control nor any key of the record is installed now: a key
// another control wrote since (a shared interface or type library) is never
// written over, one as recorded may stay. Looked at again right before the
// keys are written, as a registration may come while a large file is copied.
static int StillNotInstalled(const RecordStore *store, ULONGLONG number, RestoreResult *result)
{
    if (RecordedControlIsRegistered(store, number, &result->state))
        return kRestoreInstalledNow;
    int changed = 0;
    if (ActOnRecordKeys(store, number, kChangedKeys, &changed, result->failedKey) && changed)
        return kRestoreKeyTaken;
    return kRestored;
}

// Whether this record can bring the control back, looked at whole before
// anything changes.
static int CheckRecord(const RecordStore *store, ULONGLONG number, RestoreResult *result)
{
    const RecordState *state = &result->state;
    if (!RecordIsClosed(state))
        return kRestoreUnfinished;
    if (RecordedControlIsRegistered(store, number, state))
        return kRestoreInstalledNow;
    int keys = 0;
    if (!ActOnRecordKeys(store, number, kCheckKeys, &keys, result->failedKey))
        return kRestoreBadRecord;
    // Keys without the ProgID's would bring back no control the list shows.
    if (!CountRecordedKeys(store, number, {L"Classes\\", state->progId}, 0))
        return kRestoreNoProgId;
    for (int i = 0; i < kRecordServers; i++) {
        const RecordServer *server = &state->servers[i];
        if (!server->path[0])
            continue;
        if (!ServerFileForProcess(server, result->failedPath))
            return kRestoreFileFailed;
        int outcome = CheckServerFile(store, number, i, server, result->failedPath);
        if (outcome != kRestored)
            return outcome;
    }
    result->failedPath[0] = 0;
    return StillNotInstalled(store, number, result);
}

static int PutRecordBack(const RecordStore *store, ULONGLONG number, RestoreResult *result)
{
    HANDLE placed[kRecordServers];
    int outcome = kRestored;
    for (int i = 0; i < kRecordServers; i++) {
        const RecordServer *server = &result->state.servers[i];
        placed[i] = INVALID_HANDLE_VALUE;
        if (!server->path[0] || outcome != kRestored)
            continue;
        if (!ServerFileForProcess(server, result->failedPath))
            outcome = kRestoreFileFailed;
        else
            outcome = CopyBack(store, number, i, result->failedPath, &placed[i]);
        result->copiedBack[i] = placed[i] != INVALID_HANDLE_VALUE;
    }
    if (outcome == kRestored) {
        result->failedPath[0] = 0;
        outcome = StillNotInstalled(store, number, result);
    }
    // Refused or a file failed: nothing this restore made stays. Keys that
    // could not be written leave the file and the keys before them.
    LetGoOfCopies(placed, outcome != kRestored, result);
    if (outcome != kRestored)
        return outcome;
    if (!ActOnRecordKeys(store, number, kWriteKeys, &result->keys, result->failedKey))
        return kRestoreKeyFailed;
    return kRestored;
}

// An older record of the same installation (the same server files) is
// tried when this one lacks a copy of a file that is gone: an earlier
// removal that stopped halfway may have deleted it after copying it.
static int IsSameInstallation(const RecordState *a, const RecordState *b)
{
    for (int i = 0; i < kRecordServers; i++) {
        if (!SameName(a->servers[i].path, b->servers[i].path))
            return 0;
    }
    return SameName(a->clsid, b->clsid);
}

int RestoreRemoval(const wchar_t *progId, ULONGLONG number, RestoreResult *result)
{
    static RecordStore store;
    static RecordVisit visit;
    // The newest record's answer, given when no record can bring the control back.
    static RestoreResult newest;
    int newestOutcome = kRestoreNoRecord;
    ZeroMemory(result, sizeof(*result));
    if (!OpenRecordStore(&store, 0))
        return kRestoreNoRecord;
    int used = 0, outcome = kRestoreNoRecord;
    visit.held = INVALID_HANDLE_VALUE;
    while (NextRecord(&store, &visit)) {
        if ((number && visit.number != number) || !visit.readable ||
            !SameName(visit.state.progId, progId))
            continue;
        if (newestOutcome != kRestoreNoRecord && !IsSameInstallation(&newest.state, &visit.state))
            continue;
        ZeroMemory(result, sizeof(*result));
        result->number = visit.number;
        result->state = visit.state;
        // Held while it is put back; a removal still under way holds it already.
        HANDLE held = TakeRecordState(&store, visit.number);
        outcome = held == INVALID_HANDLE_VALUE ? kRestoreUnderWay
                                               : CheckRecord(&store, visit.number, result);
        used = outcome == kRestored;
        if (used) {
            result->newest = newestOutcome == kRestoreNoRecord ? 0 : newest.number;
            outcome = PutRecordBack(&store, visit.number, result);
        }
        if (held != INVALID_HANDLE_VALUE)
            CloseHandle(held);
        if (used)
            break;
        if (newestOutcome == kRestoreNoRecord) {
            newest = *result;
            newestOutcome = outcome;
        }
        if (number || newestOutcome != kRestoreNoCopy)
            break;
    }
    EndVisit(&visit);
    CloseRecordStore(&store);
    if (used || newestOutcome == kRestoreNoRecord)
        return outcome;
    *result = newest;
    return newestOutcome;
}
