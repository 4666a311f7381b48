// A removal cut short (its process died on the way) is finished from its
// record: the steps not yet done are done, so no server file is left on disk
// without a key by which any tool could find it.
#include "controls/records.h"

#include "base/text.h"
#include "register/register.h"

static int g_finishTried;

// The control was installed again after the removal was cut short: what is
// there now belongs to that installation.
static int InstalledAgain(const RecordState *state)
{
    wchar_t path[kRemovalKeyPathSize] = {};
    HKEY key;
    if (!ComposeText(path, kRemovalKeyPathSize, {state->progId, L"\\CLSID"}) ||
        RegOpenKeyExW(HKEY_CLASSES_ROOT, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return 0;
    RegCloseKey(key);
    return 1;
}

// 1 when the file at the server path is still the one the record copied, or
// the record holds no copy to tell by.
static int IsTheRemovedFile(ULONGLONG number, const RecordState *state)
{
    if (!state->copied)
        return 1;
    HANDLE copy =
        OpenRecordFile(number, kRecordServerFile, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    HANDLE file = CreateFileW(state->serverPath, GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                              OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, NULL);
    int same =
        copy != INVALID_HANDLE_VALUE && file != INVALID_HANDLE_VALUE && SameFileBytes(copy, file);
    if (copy != INVALID_HANDLE_VALUE)
        CloseHandle(copy);
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    return same;
}

static void FinishRecord(ULONGLONG number, HANDLE stateFile, const RecordState *state)
{
    static wchar_t failedKey[kRecordKeyPathSize];
    int keys = 0;
    if (!state->steps[kStepKeys]) {
        ActOnRecordKeys(number, kDeleteKeys, &keys, failedKey);
        MarkRecordStep(stateFile, kStepKeys);
    }
    if (state->steps[kStepFile])
        return;
    // A file that is not the removed one (or the control installed again)
    // stays where it is.
    int act = GetFileAttributesW(state->serverPath) != INVALID_FILE_ATTRIBUTES &&
              !InstalledAgain(state) && IsTheRemovedFile(number, state);
    if (act && !state->steps[kStepUnregister])
        UnregisterControlFile(state->serverPath);
    MarkRecordStep(stateFile, kStepUnregister);
    if (act)
        DeleteFileW(state->serverPath);
    MarkRecordStep(stateFile, kStepFile);
}

int FinishUnfinishedRemovals(void (*finished)(const wchar_t *progId, void *context), void *context)
{
    static ULONGLONG numbers[kListedRecords];
    static RecordState state;
    if (g_finishTried)
        return 0;
    g_finishTried = 1;
    if (!HoldRecordsFolder(0))
        return 0;
    int listed = ListRecords(numbers, kListedRecords);
    int count = 0;
    for (int i = listed - 1; i >= 0; i--) {
        HANDLE record = HoldRecord(numbers[i]);
        if (record == INVALID_HANDLE_VALUE)
            continue;
        // A removal still under way holds its state file without write
        // sharing: it cannot be opened here, and is left to itself.
        HANDLE stateFile = INVALID_HANDLE_VALUE;
        if (ReadRecordState(numbers[i], &state) && !RecordIsDone(&state))
            stateFile = OpenRecordFile(numbers[i], kRecordStateFile, GENERIC_READ | GENERIC_WRITE,
                                       FILE_SHARE_READ, OPEN_EXISTING);
        if (stateFile != INVALID_HANDLE_VALUE) {
            FinishRecord(numbers[i], stateFile, &state);
            CloseHandle(stateFile);
            if (finished)
                finished(state.progId, context);
            count++;
        }
        CloseHandle(record);
    }
    ReleaseRecordsFolder();
    return count;
}
