// Removal records, the engine: before a removal deletes anything it writes a
// record into a fresh protected folder C:\OrviActiveX\removals\<number>:
// the keys it is about to delete in the platform's .reg format (keys.reg),
// a copy of each server file (server.bin) and its state (state.txt: which
// control, when, which steps are done). A record that a process left
// unfinished is finished later, and a removal can be turned back from its
// record. Records are read only from that one folder, and only those the
// tool made (see register/register.h, protected_folder.cpp).
#pragma once

#include <windows.h>

#include <initializer_list>

#include "base/limits.h"
#include "controls/controls.h"

// The files of a record.
const wchar_t kRecordKeysFile[] = L"keys.reg";
const wchar_t kRecordStateFile[] = L"state.txt";
// The first line of the keys file, the platform's own export format.
const wchar_t kRegHeaderLine[] = L"Windows Registry Editor Version 5.00";

// The steps of a removal, in their order, and the marks of the state file:
// each a line "name=0" or "name=1".
enum RecordMark {
    kMarkKeys = 0,          // every key of the record is gone
    kMarkUnregister = 1,    // every server file was unregistered (or there was none)
    kMarkFile = 2,          // every server file is deleted (or there was none)
    kMarkUnregistering = 3, // an unregistration was started: it is never started again
    kMarkOvertaken = 4,     // the control was registered again before the record was finished:
                            // what is there now was left whole, and the record is closed
    kMarkCount = 5,
};

// A server file of the removed control: the path its class names, in the
// view of that class (kView32 or kView64: a path in System32 names a
// different folder in each), and whether the record holds a copy of it.
struct RecordServer {
    wchar_t path[kServerPathSize]; // empty: no file was to be deleted
    int view;
    int copied;
};

// What a record's state file says.
struct RecordState {
    wchar_t progId[kKeyNameSize];
    wchar_t clsid[kDefaultValueSize];
    wchar_t time[kRecordTimeChars]; // local time of the removal
    RecordServer servers[kRecordServers];
    int marks[kMarkCount];
    int whole; // every key and value the rule named went into keys.reg
};

// ---- record_store.cpp ------------------------------------------------------------
// The records folder, held open while it is used, and the record folders in it.
struct RecordStore {
    wchar_t path[kRecordPathSize]; // without a trailing backslash
    HANDLE folder;
    HANDLE base;                       // the base folder, held as long as the store is open
    ULONGLONG numbers[kListedRecords]; // newest first
    int listed;
    int next;
};
// One record as the iterator hands it over: its folder held, its state read.
struct RecordVisit {
    ULONGLONG number;
    HANDLE held;
    int busy;     // a removal under way holds the record: nothing of it was read
    int readable; // the state file was read whole
    RecordState state;
};
// Holds the records folder after checking it and lists its records (make:
// create it first, and set aside one the tool did not make). 0 when there
// is none to trust.
int OpenRecordStore(RecordStore *store, int make);
void CloseRecordStore(RecordStore *store);
// The next record, newest first: its folder held (only folders the tool
// made) and its state read; the one visited before is let go. 0 after the last.
int NextRecord(RecordStore *store, RecordVisit *visit);
// The same for the record of that number; 0 when it is none the tool made.
int VisitRecord(const RecordStore *store, ULONGLONG number, RecordVisit *visit);
void EndVisit(RecordVisit *visit);
// Holds the folder of a record being written to this process alone, so
// that others see it as a removal under way (RecordVisit.busy).
HANDLE HoldNewRecord(const RecordStore *store, ULONGLONG number);
// Creates a fresh record folder numbered one past the highest there is,
// whatever the clock says; 0 when none could be made.
int CreateRecordFolder(RecordStore *store, ULONGLONG *number);
// A record's folder (file NULL) or one of its files.
int ComposeRecordPath(const RecordStore *store, wchar_t *path, ULONGLONG number,
                      const wchar_t *file);
// The file that holds the copy of servers[index].
const wchar_t *ServerCopyName(int index);
// Opens a file of a record without following a reparse point; a reparse
// point or a folder is refused.
HANDLE OpenRecordFile(const RecordStore *store, ULONGLONG number, const wchar_t *file, DWORD access,
                      DWORD share, DWORD disposition);
// Opens the state file for marking, without write sharing: held so, it tells
// other processes that the record is being worked on. INVALID_HANDLE_VALUE
// when another process holds it.
HANDLE TakeRecordState(const RecordStore *store, ULONGLONG number);
int WriteRecordState(HANDLE file, const RecordState *state);
// Sets mark in an open state file (the line is added to a record written
// before it existed).
int SetRecordMark(HANDLE file, int mark);
// 1 when every step is done; a started unregistration that never came back
// counts as done, as nothing starts it again.
int RecordIsDone(const RecordState *state);
// 1 when nothing will act on the record any more: done, or overtaken.
int RecordIsClosed(const RecordState *state);
// The path by which this process reaches a server file of the record.
int ServerFileForProcess(const RecordServer *server, wchar_t *path);
// 1 when the file at path is the one the record copied (compared byte for
// byte); 0 when it differs, cannot be read, or the record holds no copy.
int IsRecordedFile(const RecordStore *store, ULONGLONG number, int index, const wchar_t *path);
// Copies what is left to read of from into to; the bytes copied in *bytes.
int CopyFileBytes(HANDLE from, HANDLE to, ULONGLONG *bytes);
// Deletes a record the tool made, its state file first, so a record half
// deleted is no record any more.
int DeleteRecord(const RecordStore *store, ULONGLONG number);
// Deletes the closed records beyond the newest kKeptRecords, or beyond
// kKeptRecordBytes in all, oldest first; the newest record, and every
// record not closed, are kept. Once after a batch of removals.
void PruneRecords();

// ---- record_export.cpp -------------------------------------------------------------
// The full name of key as the registry knows it ("HKEY_LOCAL_MACHINE\...",
// "HKEY_USERS\..."), so the view it lies in is named by its path.
int RealKeyPath(HKEY key, wchar_t *path, size_t cap);
// Writes the planned keys with their values and subkeys into file in the
// .reg format of "Windows Registry Editor Version 5.00", UTF-16; 0 when it
// could not be written. *whole is 0 when a key or value had to be left out.
int ExportPlannedKeys(const RemovalPlan *plan, HANDLE file, int *whole, ULONGLONG *bytes);
// A digest of the key (opened as itself) with its values and subkeys, as
// its export would read under the full path path; two trees with the same
// export have the same digest.
ULONGLONG DigestKeyTree(HKEY key, const wchar_t *path);
// The digest of export text, as DigestKeyTree takes it.
ULONGLONG DigestText(ULONGLONG digest, const wchar_t *text, size_t length);
const ULONGLONG kDigestStart = 14695981039346656037ULL;

// ---- record_import.cpp -------------------------------------------------------------
// What reading a record's keys.reg does with each key.
enum RecordKeysAction {
    kCheckKeys = 0,      // reads it through, writes nothing
    kWriteKeys = 1,      // creates the keys and sets their values
    kDeleteKeys = 2,     // deletes each key the record names whole that is still as recorded
    kCountKeys = 3,      // counts the keys the record names whole that are still as recorded
    kCountNamedKeys = 4, // counts the keys of one name (see CountRecordedKeys)
    kChangedKeys = 5,    // counts the keys the record names whole that are there now, not as
                         // recorded: somebody else's; the first one's path in failedKey
};
// Reads the record's keys.reg and acts on it; 0 when the file is not one the
// tool writes or a key could not be written (its path in failedKey, cap
// kRecordKeyPathSize). *keys counts the keys acted on (kCountKeys: found).
// A key that is no longer as the record holds it belongs to whoever
// changed it: it is neither deleted nor counted.
int ActOnRecordKeys(const RecordStore *store, ULONGLONG number, int action, int *keys,
                    wchar_t *failedKey);
// The keys the record names whose path ends with the parts joined
// ("\\CLSID\\", clsid: the class in whichever view it lies); with there, only
// those that are there now.
int CountRecordedKeys(const RecordStore *store, ULONGLONG number,
                      std::initializer_list<const wchar_t *> tail, int there);
// The key's own name of a record path below HKEY_LOCAL_MACHINE or
// HKEY_USERS, and its root; NULL for any other root or a path outside the
// classes, which no removal deletes.
const wchar_t *RecordKeySubpath(const wchar_t *path, HKEY *root);

// ---- record_journal.cpp --------------------------------------------------------------
// The record of the removal under way.
struct RemovalJournal {
    ULONGLONG number;           // 0: the removal goes on without a record
    HANDLE stateFile;           // held until the removal ends
    int copied[kRecordServers]; // a copy of that server file is in the record (or it was gone)
};
// Writes the record of the removal about to start: the planned keys, a copy
// of each server file and the state. Returns 1 when the record is written
// whole; the removal goes on either way.
int BeginRemovalRecord(RemovalJournal *journal, const RemovalPlan *plan, const wchar_t *progId,
                       const wchar_t *clsid, const RecordServer *servers);
// Deletes a server file of a removal, reached as its view names it. 1 when
// the file is settled: deleted, not there (or no file can have its name),
// or read-only, which the removal leaves in place as it is.
int DeleteServerFile(const RecordServer *server);
// 1 when every server file of the removal that is gone now was copied into
// its record first (or was gone before): the record can bring it back.
int RecordHoldsGoneFiles(const RemovalJournal *journal, const RecordServer *servers);
// Sets a mark of the removal under way; nothing without a record.
void MarkRemoval(RemovalJournal *journal, int mark);
// Lets go of the record.
void EndRemovalRecord(RemovalJournal *journal);
// 1 when the record's ProgID, or its class in a view the record holds it
// from, is registered now: the control is installed (again, or it could not
// be deleted), and nothing of the record may be acted on over it.
int RecordedControlIsRegistered(const RecordStore *store, ULONGLONG number,
                                const RecordState *state);
// Finishes every record a removal left unfinished (its process died on the
// way), once per process, calling finished (may be NULL) with each; returns
// their number. Only for a process that may change the machine's
// registrations, as a removal is, and never before a registration.
int FinishInterruptedRemovals(void (*finished)(const RecordState *state, void *context),
                              void *context);

// ---- record_restore.cpp -----------------------------------------------------------------
enum RestoreOutcome {
    kRestored = 0,
    kRestoreNoRecord = 1,     // no record of that control (of that number)
    kRestoreOtherFile = 2,    // a different file is at the server path
    kRestoreNoFolder = 3,     // the server path's folder is gone
    kRestoreLinkInPath = 4,   // a junction or symbolic link on the server path
    kRestoreNoCopy = 5,       // the record holds no copy and the file is gone
    kRestoreFileFailed = 6,   // the file could not be written
    kRestoreBadRecord = 7,    // keys.reg is not as the tool writes it
    kRestoreKeyFailed = 8,    // a key could not be written
    kRestoreInstalledNow = 9, // the control's ProgID or class is registered now
    kRestoreUnfinished = 10,  // the removal stopped with a step left
    kRestoreUnderWay = 11,    // the removal is still under way in another process
    kRestoreNoProgId = 12,    // the record holds no key of the ProgID: nothing to bring back
    kRestoreKeyTaken = 13,    // a key of the record is there now, not as recorded (failedKey)
};
struct RestoreResult {
    ULONGLONG number; // the record used (or refused)
    ULONGLONG newest; // the newest record of the control, when another was used
    RecordState state;
    int fileCopied;                 // 1: a file was copied back, 0: each was in place (or none)
    int copiedBack[kRecordServers]; // each server file: copied back
    wchar_t failedPath[kServerPathSize]; // the server file a file outcome names
    int keys;                            // keys written
    wchar_t failedKey[kRecordKeyPathSize];
};
// Turns back a removal of progId (letter case ignored) from its record: the
// server files to their paths, then the keys. number 0 takes the newest
// record that can bring the control back; any other, that record alone.
// A RestoreOutcome.
int RestoreRemoval(const wchar_t *progId, ULONGLONG number, RestoreResult *result);
