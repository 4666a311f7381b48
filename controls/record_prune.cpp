// The bound on the records: the newest kKeptRecords finished records, as
// long as they hold kKeptRecordBytes at most, are kept; older ones are
// deleted, oldest first. Unfinished records are left for their completion,
// and folders the tool did not make are never touched.
#include "controls/records.h"

#include "base/text.h"

// A folder without a state file this much older than now was left by a
// record that was never written whole (its writer died before the removal
// started): it is deleted. A younger one may still be being written.
const ULONGLONG kAbandonedAfterMs = 60 * 60 * 1000;

// The finished records already looked at by this process, with their sizes,
// so a removal looks at only the records that are new to it.
struct KnownRecord {
    ULONGLONG number;
    ULONGLONG bytes;
};
static KnownRecord g_known[kListedRecords];
static int g_knownCount;
static ULONGLONG g_listed[kListedRecords];

static void DeleteRecordFile(ULONGLONG number, const wchar_t *file)
{
    wchar_t path[kRecordPathSize] = {};
    if (ComposeRecordPath(path, number, file))
        DeleteFileW(path);
}

int DeleteRecord(ULONGLONG number)
{
    DeleteRecordFile(number, kRecordStateFile);
    DeleteRecordFile(number, kRecordKeysFile);
    DeleteRecordFile(number, kRecordServerFile);
    wchar_t path[kRecordPathSize] = {};
    return ComposeRecordPath(path, number, NULL) && RemoveDirectoryW(path);
}

// The sizes of the record's files together.
static ULONGLONG RecordBytes(ULONGLONG number)
{
    wchar_t pattern[kRecordPathSize] = {};
    if (!ComposeRecordPath(pattern, number, L"*"))
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

static KnownRecord *FindKnown(ULONGLONG number)
{
    for (int i = 0; i < g_knownCount; i++) {
        if (g_known[i].number == number)
            return &g_known[i];
    }
    return NULL;
}

static KnownRecord *Remember(ULONGLONG number, ULONGLONG bytes)
{
    if (g_knownCount >= kListedRecords)
        return NULL;
    g_known[g_knownCount].number = number;
    g_known[g_knownCount].bytes = bytes;
    return &g_known[g_knownCount++];
}

// The finished record of that number, looked at once; NULL for an
// unfinished one and a folder the tool did not make.
static KnownRecord *LookAt(ULONGLONG number)
{
    static RecordState state;
    KnownRecord *known = FindKnown(number);
    if (known)
        return known;
    HANDLE record = HoldRecord(number);
    if (record == INVALID_HANDLE_VALUE)
        return NULL;
    int read = ReadRecordState(number, &state);
    CloseHandle(record);
    if (!read) {
        if (number + kAbandonedAfterMs < RecordNumberNow())
            DeleteRecord(number);
        return NULL;
    }
    return RecordIsDone(&state) ? Remember(number, RecordBytes(number)) : NULL;
}

// Keeps only the known records that are still listed.
static void ForgetUnlisted(int listed)
{
    int kept = 0;
    for (int i = 0; i < g_knownCount; i++) {
        for (int j = 0; j < listed; j++) {
            if (g_listed[j] == g_known[i].number) {
                g_known[kept++] = g_known[i];
                break;
            }
        }
    }
    g_knownCount = kept;
}

void PruneRecords(ULONGLONG newest, ULONGLONG newestBytes)
{
    if (newest && !FindKnown(newest))
        Remember(newest, newestBytes);
    int listed = ListRecords(g_listed, kListedRecords);
    int kept = 0;
    ULONGLONG keptBytes = 0;
    int beyond = 0;
    for (int i = 0; i < listed; i++) {
        KnownRecord *record = LookAt(g_listed[i]);
        if (!record)
            continue;
        // Once one does not fit, every older one goes as well.
        beyond = beyond || (kept > 0 &&
                            (kept >= kKeptRecords || keptBytes + record->bytes > kKeptRecordBytes));
        if (!beyond) {
            kept++;
            keptBytes += record->bytes;
        } else if (DeleteRecord(g_listed[i])) {
            g_listed[i] = 0;
        }
    }
    ForgetUnlisted(listed);
}
