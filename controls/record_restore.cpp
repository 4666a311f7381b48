// A removal turned back from its record: the server file to its path (never
// over a different file), then the keys, each to the view its path names.
// Records are read from the tool's records folder alone.
#include "controls/records.h"

#include "base/text.h"
#include "register/protected_folder.h"

// Holds the newest record of progId (letter case ignored) and reads its
// state; INVALID_HANDLE_VALUE when there is none.
static HANDLE HoldNewestRecord(const wchar_t *progId, RecordState *state, ULONGLONG *number)
{
    static ULONGLONG numbers[kListedRecords];
    int listed = ListRecords(numbers, kListedRecords);
    for (int i = 0; i < listed; i++) {
        HANDLE record = HoldRecord(numbers[i]);
        if (record == INVALID_HANDLE_VALUE)
            continue;
        if (ReadRecordState(numbers[i], state) &&
            CompareStringOrdinal(state->progId, -1, progId, -1, TRUE) == CSTR_EQUAL) {
            *number = numbers[i];
            return record;
        }
        CloseHandle(record);
    }
    return INVALID_HANDLE_VALUE;
}

// 1 when the folder the server path names is there.
static int ServerFolderExists(const wchar_t *serverPath)
{
    static wchar_t folder[kServerPathSize];
    if (!CopyText(folder, kServerPathSize, serverPath))
        return 0;
    wchar_t *slash = NULL;
    for (wchar_t *p = folder; *p; p++) {
        if (*p == L'\\' || *p == L'/')
            slash = p;
    }
    if (!slash)
        return 0;
    // A file at the root of a drive lies in the root (C:\), not in "C:".
    if (slash > folder && slash[-1] == L':')
        slash++;
    *slash = 0;
    DWORD attributes = GetFileAttributesW(folder);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// A file already at the path must be the removed one. Without a copy in the
// record (the file could not be read at the removal, held open, say) there
// is nothing to tell it by, and the file there is taken as it is.
static int CheckFileInPlace(HANDLE copy, const wchar_t *serverPath)
{
    if (copy == INVALID_HANDLE_VALUE)
        return kRestored;
    HANDLE file = CreateFileW(serverPath, GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                              OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, NULL);
    int same = file != INVALID_HANDLE_VALUE && SameFileBytes(copy, file);
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    return same ? kRestored : kRestoreOtherFile;
}

static int CopyBack(HANDLE copy, const wchar_t *serverPath)
{
    if (copy == INVALID_HANDLE_VALUE)
        return kRestoreNoCopy;
    if (!ServerFolderExists(serverPath))
        return kRestoreNoFolder;
    // Made new: never over anything that appeared there meanwhile.
    HANDLE file =
        CreateFileW(serverPath, GENERIC_WRITE, 0, NULL, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return kRestoreFileFailed;
    ULONGLONG bytes = 0;
    int copied = CopyFileBytes(copy, file, &bytes);
    CloseHandle(file);
    if (copied)
        return kRestored;
    DeleteFileW(serverPath);
    return kRestoreFileFailed;
}

static int RestoreServerFile(ULONGLONG number, RestoreResult *result)
{
    const RecordState *state = &result->state;
    if (!state->serverPath[0])
        return kRestored;
    if (PathHasReparsePoint(state->serverPath))
        return kRestoreLinkInPath;
    HANDLE copy = INVALID_HANDLE_VALUE;
    if (state->copied)
        copy =
            OpenRecordFile(number, kRecordServerFile, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    int outcome;
    if (GetFileAttributesW(state->serverPath) != INVALID_FILE_ATTRIBUTES) {
        outcome = CheckFileInPlace(copy, state->serverPath);
    } else {
        outcome = CopyBack(copy, state->serverPath);
        result->fileCopied = outcome == kRestored;
    }
    if (copy != INVALID_HANDLE_VALUE)
        CloseHandle(copy);
    return outcome;
}

static int RestoreRecord(ULONGLONG number, RestoreResult *result)
{
    int keys = 0;
    // The whole export is read through first: a record that is not as the
    // tool writes it changes nothing.
    if (!ActOnRecordKeys(number, kCheckKeys, &keys, result->failedKey))
        return kRestoreBadRecord;
    int outcome = RestoreServerFile(number, result);
    if (outcome != kRestored)
        return outcome;
    if (!ActOnRecordKeys(number, kWriteKeys, &result->keys, result->failedKey))
        return kRestoreKeyFailed;
    return kRestored;
}

int RestoreNewestRecord(const wchar_t *progId, RestoreResult *result)
{
    ZeroMemory(result, sizeof(*result));
    if (!HoldRecordsFolder(0))
        return kRestoreNoRecord;
    ULONGLONG number = 0;
    HANDLE record = HoldNewestRecord(progId, &result->state, &number);
    int outcome = kRestoreNoRecord;
    if (record != INVALID_HANDLE_VALUE) {
        outcome = RestoreRecord(number, result);
        CloseHandle(record);
    }
    ReleaseRecordsFolder();
    return outcome;
}
