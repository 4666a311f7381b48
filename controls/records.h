// Removal records, the engine: before a removal deletes anything it writes a
// record into a fresh protected folder C:\OrviActiveX\removals\<number>:
// the keys it is about to delete in the platform's .reg format (keys.reg),
// a copy of the server file (server.bin) and its state (state.txt: which
// control, when, which steps are done). A record that a process left
// unfinished is finished later, and a removal can be turned back from its
// record. Records are read only from that one folder, and only those the
// tool made (see register/protected_folder.h).
#pragma once

#include <windows.h>

#include "base/limits.h"

// The steps of a removal, in their order.
enum RemovalStep {
    kStepKeys = 0,
    kStepUnregister = 1,
    kStepFile = 2,
};
const int kStepCount = 3;

// The files of a record.
const wchar_t kRecordKeysFile[] = L"keys.reg";
const wchar_t kRecordServerFile[] = L"server.bin";
const wchar_t kRecordStateFile[] = L"state.txt";
// The first line of the keys file, the platform's own export format.
const wchar_t kRegHeaderLine[] = L"Windows Registry Editor Version 5.00";
// Key trees deeper than this are neither written into a record nor deleted
// from one's keys.
const int kMaxRecordDepth = 64;

// What a record's state file says.
struct RecordState {
    wchar_t progId[kKeyNameSize];
    wchar_t clsid[kDefaultValueSize];
    wchar_t serverPath[kServerPathSize]; // empty when no file was to be deleted
    wchar_t time[kRecordTimeChars];      // local time of the removal
    int steps[kStepCount];               // 1 for a step done
    int copied;                          // server.bin holds the server file
    int whole;                           // every key and value went into keys.reg
};

// ---- record_write.cpp ------------------------------------------------------------
// Writes the record of the removal about to start: the planned keys (see
// PlannedKey), a copy of serverPath ("" when no file is to be deleted) and the
// state. The removal goes on whether or not the record could be written.
void BeginRemovalRecord(const wchar_t *progId, const wchar_t *clsid, const wchar_t *serverPath);
// Marks a step of the removal under way done; nothing without a record.
void MarkRemovalStep(int step);
// Lets go of the record and deletes the oldest beyond the limits.
void EndRemovalRecord();

// ---- record_folder.cpp -------------------------------------------------------------
// Holds the records folder open after checking it (make: create it first, and
// set aside one the tool did not make). 0 when there is none to trust.
int HoldRecordsFolder(int make);
void ReleaseRecordsFolder();
// The numbers of the record folders in the held folder, newest first, at most
// cap of them; returns how many.
int ListRecords(ULONGLONG *numbers, int cap);
// A record's folder (file NULL) or one of its files.
int ComposeRecordPath(wchar_t *path, ULONGLONG number, const wchar_t *file);
// Creates a fresh record folder, numbered after the current time (or the next
// free number); 0 when none could be made.
int CreateRecordFolder(ULONGLONG *number);
// The number of a record made now: milliseconds since 1601 (UTC).
ULONGLONG RecordNumberNow();
// Holds a record's folder open when the tool made it; INVALID_HANDLE_VALUE
// otherwise.
HANDLE HoldRecord(ULONGLONG number);
// Opens a file of a record without following a reparse point; a reparse
// point is refused.
HANDLE OpenRecordFile(ULONGLONG number, const wchar_t *file, DWORD access, DWORD share,
                      DWORD disposition);
int WriteRecordState(HANDLE file, const RecordState *state);
// Reads a record's state; 0 when it cannot be read whole.
int ReadRecordState(ULONGLONG number, RecordState *state);
// Marks step done in an open state file.
int MarkRecordStep(HANDLE file, int step);
int RecordIsDone(const RecordState *state);
// Calls found with every record the tool made, newest first; returns their number.
int ForEachRecord(void (*found)(const RecordState *state, void *context), void *context);

// ---- record_files.cpp ------------------------------------------------------------------
// Copies what is left to read of from into to; the bytes copied in *bytes.
int CopyFileBytes(HANDLE from, HANDLE to, ULONGLONG *bytes);
// 1 when both files hold the same bytes.
int SameFileBytes(HANDLE a, HANDLE b);

// ---- key_path.cpp ------------------------------------------------------------------------
// The full name of key as the registry knows it ("HKEY_LOCAL_MACHINE\...",
// "HKEY_USERS\..."), so the view it lies in is named by its path.
int RealKeyPath(HKEY key, wchar_t *path, size_t cap);
// The key's own name of a record path below HKEY_LOCAL_MACHINE or
// HKEY_USERS, and its root; NULL for any other root or a path outside the
// classes, which no removal deletes.
const wchar_t *RecordKeySubpath(const wchar_t *path, HKEY *root);
// 1 for a registry link (a key with a REG_LINK value SymbolicLinkValue).
int IsRegistryLink(HKEY key);

// ---- record_export.cpp ------------------------------------------------------------------
// Writes the planned keys with their values into file in the .reg format of
// "Windows Registry Editor Version 5.00", UTF-16; 0 when it could not be
// written. *whole is 0 when a key or value had to be left out.
int ExportPlannedKeys(HANDLE file, int *whole, ULONGLONG *bytes);

// ---- record_import.cpp ------------------------------------------------------------------
// What reading a record's keys.reg does with each key.
enum RecordKeysAction {
    kCheckKeys = 0,  // reads it through, writes nothing
    kWriteKeys = 1,  // creates the keys and sets their values
    kDeleteKeys = 2, // deletes every key named, with its subkeys
};
// Reads the record's keys.reg and acts on it; 0 when the file is not one the
// tool writes or a key could not be written (its path in failedKey, cap
// kRecordKeyPathSize). *keys counts the keys acted on.
int ActOnRecordKeys(ULONGLONG number, int action, int *keys, wchar_t *failedKey);

// ---- record_finish.cpp ----------------------------------------------------------------
// Finishes every record a removal left unfinished (its process died on the
// way), once per process, calling finished (may be NULL) with each; returns
// their number. Only for a process that may change the machine's
// registrations, as a removal is.
int FinishUnfinishedRemovals(void (*finished)(const wchar_t *progId, void *context), void *context);

// ---- record_prune.cpp ---------------------------------------------------------------------
// In the held records folder, deletes the finished records beyond the newest
// kKeptRecords, or beyond kKeptRecordBytes in all, oldest first; the newest
// is always kept. newest and newestBytes name the record just written.
void PruneRecords(ULONGLONG newest, ULONGLONG newestBytes);
// Deletes a record of the held records folder that the tool made (the
// caller has looked at it), its state file first, so a record half deleted
// is no record any more.
int DeleteRecord(ULONGLONG number);

// ---- record_restore.cpp -------------------------------------------------------------------
enum RestoreOutcome {
    kRestored = 0,
    kRestoreNoRecord = 1,   // no record of that control
    kRestoreOtherFile = 2,  // a different file is at the server path
    kRestoreNoFolder = 3,   // the server path's folder is gone
    kRestoreLinkInPath = 4, // a junction or symbolic link on the server path
    kRestoreNoCopy = 5,     // the record holds no copy and the file is gone
    kRestoreFileFailed = 6, // the file could not be written
    kRestoreBadRecord = 7,  // keys.reg is not as the tool writes it
    kRestoreKeyFailed = 8,  // a key could not be written
};
struct RestoreResult {
    RecordState state;
    int fileCopied; // 1: copied back, 0: the same file was in place (or none)
    int keys;       // keys written
    wchar_t failedKey[kRecordKeyPathSize];
};
// Turns back the newest removal of progId (letter case ignored) from its
// record: the server file to its path, then the keys. A RestoreOutcome.
int RestoreNewestRecord(const wchar_t *progId, RestoreResult *result);
