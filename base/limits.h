// Every fixed buffer of the tool, in characters (wide or ANSI as the buffer
// is) including the terminator unless the name says bytes. Each size is
// defined here once and named for what it bounds.
#pragma once

#include <stddef.h>

// ---- shared ---------------------------------------------------------------
// A decimal number of 64 bits with its sign.
const int kDecimalSize = 24;
// The running report of a cabinet drop (g_statusText).
const int kStatusTextSize = 1000;
// A registry key name (at most 255 characters), a ProgID among them.
const int kKeyNameSize = 256;

// ---- dropped files and the registrar --------------------------------------
// The name of the first dropped file.
const int kDroppedPathSize = 1000;
// The registrar's parameters: " /u /s \"path\"" and " /s \"path\"".
const int kUnregisterParametersSize = 500;
const int kRegisterParametersSize = 1000;
// The registrar's command line: its quoted path (at most 260 characters)
// and the longer parameters.
const int kRegistrarCommandSize = 264 + kRegisterParametersSize;
// Longest control file path the unregistering parameters hold.
const size_t kMaxControlPath = kUnregisterParametersSize - 10;

// ---- cabinet extraction -----------------------------------------------------
// The extraction folder as ANSI text and as wide text.
const int kExtractFolderSize = 500;
const int kExtractFolderWideSize = 256;
// The cabinet's file name without its folder, as the decompressor takes it.
const int kCabinetNameSize = 500;
// An output path (folder and stored name) as ANSI text, and any path of the
// extraction converted to wide text.
const int kOutputPathSize = 512;
const int kExtractWidePathSize = 1000;
// The names of the control files one extraction wrote, one after the other.
const size_t kWrittenNamesSize = 32768;
// A stored name's part before its first dot, long enough to tell a device name.
const int kDeviceBaseSize = 9;

// ---- cabinet registration ---------------------------------------------------
// The dropped cabinet path in the ANSI code page.
const int kCabinetAnsiPathSize = 1000;
// The extraction folder as listed, and one listed file path in it.
const int kFolderTextSize = 200;
const int kListedPathSize = 400;

// ---- why a registration failed ----------------------------------------------
// The reason, in one line.
const int kReasonChars = 600;
// An imported DLL's name read from a PE file: up to 255 characters, as a file
// name may have.
const int kDllNameChars = 256;
// An imported DLL's name joined to the folder of the DLL that imports it:
// every path either program takes is shorter than a dropped path.
const int kDependencyPathChars = kDroppedPathSize + kDllNameChars;
// The PATH variable, read whole (the environment's limit for one variable).
const int kPathVariableChars = 32767;

// ---- installed control query ------------------------------------------------
// A key name in the ANSI code page, for the prefix test.
const int kAnsiKeyNameSize = 255;

// ---- control removal ----------------------------------------------------------
// A list entry read by the removal actions.
const int kRemovalEntrySize = 255;
// Key paths built by the removal.
const int kRemovalKeyPathSize = 255;
// A key path of the classes in the other view, below the machine's
// "Software\Classes\" (18 characters) and at most a tree deletion's path.
const int kClassesPathSize = 540;
// The working path of a tree deletion, and the subkey names appended to it.
const int kDeleteTreePathSize = 520;
const int kDeleteTreeSubkeySize = 260;
// A key's default value, read with a data size of only 255 bytes (at most 126
// characters and the terminator).
const int kDefaultValueSize = 256;
const int kDefaultValueBytes = 255;
// The control's server path, read with a data size of 10000 bytes.
const int kServerPathSize = 10000;
const int kServerPathBytes = 10000;
// A file a type library is registered to, as read, expanded or in its long
// form; a longer one is never taken for the control's.
const int kLibraryPathSize = 1000;
// The hex letter positions of one ProgID stem whose reference GUID is
// adjusted to upper case: three at most, and the 0 that ends the row.
const int kCasePositionsSize = 4;

// Key trees deeper than this many levels are neither written into a record
// nor deleted.
const int kMaxKeyDepth = 64;

// ---- removal records -------------------------------------------------------------
// The keys one removal plans to delete, and their paths one after the other.
const int kPlannedKeys = 1024;
const int kPlanChars = 65536;
// A record's folder or one of its files.
const int kRecordPathSize = 400;
// A key's full path in a record ("HKEY_LOCAL_MACHINE\...\name").
const int kRecordKeyPathSize = 1024;
// A value's name (the registry allows 16,383 characters) and its data.
const int kRegValueNameSize = 16384;
const unsigned long kRegValueDataBytes = 1UL << 20;
// Text written to or read from a record's files at a time.
const int kRecordTextChars = 32768;
// The server files one record holds: one per registry view.
const int kRecordServers = 2;
// A record's state file, read whole (a server path of kServerPathSize for
// each view among it).
const int kRecordStateChars = kRecordServers * kServerPathSize + 4096;
// A time as a record shows it: "2024-05-06 10:11:12".
const int kRecordTimeChars = 24;
// Record folders one listing takes in; more are left as they are.
const int kListedRecords = 1024;
// The records kept: the newest 50, as long as they hold 500 MB at most.
const int kKeptRecords = 50;
const unsigned long long kKeptRecordBytes = 500ULL * 1024 * 1024;
// Bytes copied or compared at a time.
const int kCopyChunkBytes = 65536;

// ---- control information and download location -----------------------------
// A list entry read by the information and download actions.
const int kSelectedEntrySize = 260;
// Every registry value is read into kValueChars characters (500 bytes); a text
// of more than kValueChars - 1 characters counts as unreadable.
const int kValueChars = 250;
// Key paths hold the longest prefix, a value of kValueChars - 1 characters
// and the longest suffix (340 characters), and any ProgID the registry allows.
const int kKeyPathChars = 400;
// ---- readiness -----------------------------------------------------------------
// One problem's line: a reason, a key path, and the words around them.
const int kProblemChars = kReasonChars + 200;
// Problems one control can have: three for each view's server and three more.
const int kMaxProblems = 8;

// "CLSID：", "\r\nPATH：", "\r\nPATH（64位）：", "\nVERSION：" and four values: at
// most 1,028 characters; then "\r\n状态：" and a problem's line.
const int kInfoTextChars = 1040 + kProblemChars + 8;
// The "\nVERSION：" line of the information text.
const int kVersionLineChars = kValueChars + 16;

// ---- orvictl ------------------------------------------------------------------
// A path given on the command line, made full or expanded.
const int kCommandPathChars = 1000;
// Controls removed by one "uninstall --all" (4 MB of names, far more than a
// machine holds; the load test installs 2,000); more are left for a second run.
const int kMaxControls = 8192;
// Output is written in pieces of this many characters.
const int kChunkChars = 512;
// A record's state as history shows it.
const int kStatusChars = 80;
// One character of a JSON string, escaped.
const int kJsonCharSize = 8;
