// Installed control management, the engine: the family's installed controls,
// their removal, and what the registry records of each. No window code.
#pragma once

#include <windows.h>

#include "base/limits.h"

// The query's answer when the family has no installed control.
const wchar_t kNothingInstalled[] = L"当前电脑没有安装控件！";

// The class keys below HKEY_CLASSES_ROOT, in the native and the 32-bit view.
const wchar_t kClassKeys[] = L"CLSID\\";
const wchar_t kClassKeysWow[] = L"Wow6432Node\\CLSID\\";

// ---- query.cpp --------------------------------------------------------------------
// Calls found with every installed control of the family, in registry order;
// returns their number.
int EnumerateInstalledControls(void (*found)(const wchar_t *progId, void *context), void *context);
// 1 when name begins with a family prefix, as the list takes it.
int IsFamilyName(const wchar_t *name);

// ---- removal.cpp ------------------------------------------------------------------
// The keys one removal deletes, in the order it deletes them, each with the
// view it lies in (0: the process's own); their paths one after the other in
// text, each with its terminator. Written before anything is deleted, it
// goes to the record and then to the deletion.
struct PlannedKey {
    HKEY root;
    REGSAM view;
    size_t at;
};
struct RemovalPlan {
    PlannedKey keys[kPlannedKeys];
    wchar_t text[kPlanChars];
    int count;
    size_t used;
    int whole; // 0 when a key the rule named found no room
};
const wchar_t *PlannedKeyPath(const RemovalPlan *plan, int index);

// What a removal did, for a caller that reports it.
struct RemovalOutcome {
    int recorded; // its record was written whole before anything was deleted
    int copied;   // the record holds a copy of every server file the removal deleted
    int complete; // the ProgID and the class in every view that held it are gone
};
// Removes one control: its keys, then its server file is unregistered and
// deleted, each step marked in the removal's record. An empty ProgID
// removes nothing. The records are not pruned: a caller does that once
// after its removals (PruneRecords).
void RemoveControl(const wchar_t *progId, RemovalOutcome *outcome);
// RemoveControl, then the records pruned. Always 1.
int UninstallControl(const wchar_t *progId);

// One pass of the generic removal: deletes every subkey of the key rootName
// below HKEY_CLASSES_ROOT whose GUID text matches reference from its 11th
// character on (reference adjusted for progId's letter case first), when it
// belongs to a type library that is the control's (TypeLibraryIsTheControls).
// The subkeys of "TypeLib" are type libraries themselves; those of any other
// root are interfaces, each of the library its TypeLib subkey names, or of
// the reference's when it names none. serverPath is the control's absolute
// server path, or empty.
void DeleteMatchingSubkeys(const wchar_t *progId, const wchar_t *reference, const wchar_t *rootName,
                           const wchar_t *serverPath);

// The three controls that are removed by a fixed key list.
enum FixedKeyList {
    kUploaderKeys = 1,   // "Orvi.LargeFileUploader"
    kSealServerKeys = 2, // "ORVI.SealServerCtrlMem"
    kDocumentKeys = 3,   // "PDF.OrviDocument" together with "TIF.OrviDocument"
};

// ---- type_library.cpp ----------------------------------------------------------------
// 1 when the type library guid is the control's: outside the OLE range, and
// registered to no file at all (no TypeLib\{guid}\<version>\<lcid>\<platform>
// key), or to none but the control's server file (serverPath, absolute; empty:
// no file is the control's), a resource of it ("ctl.ocx\2") or a .tlb file
// in its folder. A registration that cannot be read counts as another's.
int TypeLibraryIsTheControls(const wchar_t *guid, const wchar_t *serverPath, REGSAM view);

// ---- registry_keys.cpp --------------------------------------------------------------
// Deletes the key at path below root with all its subkeys, depth first, in
// the view of view (0: the process's own; KEY_WOW64_64KEY, KEY_WOW64_32KEY).
// A registry link is never followed nor deleted, and a tree deeper than
// kMaxKeyDepth or too long to be named is left untouched. Nonzero when the
// key is gone, 0 when it is not.
int DeleteKeyTree(HKEY root, const wchar_t *path, REGSAM view = 0);
// 1 only when the key at path below root is not there, looked for without
// following a registry link; a key that cannot be opened for any other reason
// counts as still there.
int KeyIsGone(HKEY root, const wchar_t *path, REGSAM view);
// Opens the key at path as itself with access (a view flag among it); 0 for
// a registry link (a key with a REG_LINK value SymbolicLinkValue) or a key
// that cannot be opened.
int OpenPlainKey(HKEY root, const wchar_t *path, REGSAM access, HKEY *key);
// Where a key of the classes is reached in a view: the process's own view
// (view 0) below HKEY_CLASSES_ROOT as path names it, the other view below
// the machine's classes, "Software\Classes\" + path (in mapped,
// kClassesPathSize) below HKEY_LOCAL_MACHINE, which *root then names.
// Any other root is left alone. NULL when the path does not fit.
const wchar_t *ClassesKeyPath(HKEY *root, REGSAM view, const wchar_t *path, wchar_t *mapped);
// Opens the key at path of the classes in view (0: the own) with KEY_READ.
LSTATUS OpenClassesKey(const wchar_t *path, REGSAM view, HKEY *key);
int IsRegistryLink(HKEY key);

// ---- names.cpp ------------------------------------------------------------------------
// 1 when a and b are the same name as Windows compares file paths, key names
// and ProgIDs: ordinal, letter case ignored (any letter's, as the file
// system and the registry take it). A prefix test is base's
// StartsWithIgnoringCase.
int SameName(const wchar_t *a, const wchar_t *b);
// Converts length characters of text (-1: up to and with its terminator)
// into out (cap bytes), in the ANSI code page. *whole tells whether every
// character converts as it is, whatever the room; returns the bytes
// written, 0 when a character would change or the result does not fit.
int ToAnsiWhole(const wchar_t *text, int length, char *out, int cap, int *whole);

// ---- views.cpp --------------------------------------------------------------------------
// The views of 64-bit Windows: the registry view a class key lies in, and the
// folder "System32" names, for 64-bit and for 32-bit processes.
const int kView32 = 32;
const int kView64 = 64;
// The view of this process's bitness (kView32 also on 32-bit Windows): the
// one its plain paths name, as the removal reads a server path.
int ProcessView();
// The view IsWow64's column names: the 32-bit one where it answers nonzero
// (its paths go through Wow6432Node), as the information box reads it.
int ColumnView();
// The other view than view; 0 where there is one (32-bit Windows, or no WoW64).
int OtherView(int view);
// The flag that opens a key in view: 0 for the process's own.
REGSAM ViewAccess(int view);
// The path by which this process reaches the file that path names for a
// process of view: System32 is the 32-bit folder for one, the 64-bit folder
// for the other. 0 when it does not fit.
int PathForProcess(const wchar_t *path, int view, wchar_t *out, size_t cap);

// ---- registry_read.cpp --------------------------------------------------------------
// Default value of the key at path below HKEY_CLASSES_ROOT, written into
// value (kDefaultValueSize characters); empty when it cannot be read in full.
// Returns its length.
int ReadDefaultValue(const wchar_t *path, wchar_t *value);
// The same in a registry view (view: KEY_WOW64_64KEY or KEY_WOW64_32KEY; 0
// is the process's own).
int ReadDefaultValueInView(const wchar_t *path, REGSAM view, wchar_t *value);
// Reads value name (NULL: the default) of key as a terminated text; 0 when it
// is missing or longer than kValueChars - 1 characters.
int ReadValueText(HKEY key, const wchar_t *name, wchar_t *text, int cap);
// The server file of clsid in view (ServerFileOfValue of its stored value),
// into file (kServerPathSize characters); 0 and empty when the class has
// none, it cannot be read in full, or it names no file.
int ReadServerFile(const wchar_t *clsid, REGSAM view, wchar_t *file, int systemOnly = 0);
// The server path of clsid in the view the information box reads (wow64:
// Wow6432Node), read whole and as stored. Returns
// its type, REG_SZ or REG_EXPAND_SZ (whose environment references name the
// file only once expanded); 0 with serverPath empty when there is none, it
// cannot be read in full, or it is no string.
DWORD ReadWholeServerPath(BOOL wow64, REGSAM view, const wchar_t *clsid, wchar_t *serverPath);
// 1 when the class has an in-process server (its InprocServer32 key) in the
// view of view: the control is registered there.
int ClassHoldsServer(const wchar_t *clsid, REGSAM view);

// ---- server_path.cpp -----------------------------------------------------------------
// 1 when path is a full path, X:\... or \\server\share\..., the only server
// paths that name a file. A relative path would be resolved against the
// working folder (or drive) of whoever looks, so it names no file at all.
int IsAbsoluteServerPath(const wchar_t *path);
// The file a stored server value of type names, into file (kServerPathSize
// characters): REG_EXPAND_SZ expanded, surrounding quotes dropped; 0 and
// empty unless that is a full path (or the value is no string, or too long).
// systemOnly: only %SystemRoot%, %windir% and %SystemDrive% are expanded,
// from the system, and a value with any other reference names no file (what
// the elevated removal acts on).
int ServerFileOfValue(const wchar_t *value, DWORD type, wchar_t *file, int systemOnly = 0);

// ---- ownership.cpp -------------------------------------------------------------------
// 1 when the class clsid in view (kView32, kView64) is the control progId's,
// as the machine's classes say: its ProgID (else its
// VersionIndependentProgID) names progId or a version of it, or, naming
// none or a family control that lost its ProgID key, the machine's own
// ProgID key of progId maps to clsid. A name that cannot be read is another's.
int ClassIsTheControls(const wchar_t *progId, const wchar_t *clsid, int view);
// 1 when the machine's classes themselves (never a user's key merged over
// them) name file as the server of clsid in view (kView32, kView64).
int ServerIsTheMachines(const wchar_t *clsid, int view, const wchar_t *file);
// 1 when the class of another installed family control (another CLSID)
// names the same file (the same file however its path is spelt), in either
// view; file is as view names it. Also 1 when the file cannot be named.
int ServerIsShared(const wchar_t *progId, const wchar_t *clsid, const wchar_t *file, int view);

// ---- info.cpp ---------------------------------------------------------------------
// What the information box shows, read without showing anything: the class's
// server in the view the box reads (as the column takes it) and, on 64-bit
// Windows, in the other view when the class has a server there too.
struct ControlInfo {
    wchar_t clsid[kValueChars];
    wchar_t serverPath[kValueChars];      // empty when the own view has none
    wchar_t otherServerPath[kValueChars]; // empty when the other view has none
    wchar_t version[kValueChars];
    BOOL hasServer;  // the own view's server was read
    BOOL hasVersion; // 0 when none is recorded or readable
    BOOL wow64;      // the view read: 32-bit on 64-bit Windows
    int otherView;   // kView32 or kView64 when otherServerPath was read, else 0
};
// Results of ReadControlInfo and ReadClsid: which read failed, if any.
enum ControlInfoResult {
    kInfoRead = 0,
    kInfoKeyNotOpened = 1, // "RegOpenKeyEx失败！"
    kInfoValueNotRead = 2, // "RegQueryValueEx失败！"
};
// kInfoRead when the CLSID and a server in either view were read; a failure
// of the own view's server keys counts only when the other view has none.
int ReadControlInfo(const wchar_t *progId, ControlInfo *info);
// What orvictl reports: the CLSID, the view and the version as above, but the
// server path of the own view read whole (ReadWholeServerPath) into
// serverPath (kServerPathSize characters), info->serverPath left empty.
// Returns the path's type; 0 when the control has no readable server path,
// and then no version either.
DWORD ReadControlRecord(const wchar_t *progId, ControlInfo *info, wchar_t *serverPath);
// The server path of clsid in the other view of 64-bit Windows, read whole
// as the other view names it; its type, 0 when that view has none (or there
// is no other view).
DWORD ReadOtherViewServerPath(const wchar_t *clsid, wchar_t *serverPath);
// The default value of the ProgID's "CLSID" subkey, in clsid (cap at least
// kValueChars).
int ReadClsid(const wchar_t *progId, wchar_t *clsid, int cap);
// The path of subkey (with its leading backslash) of the control's
// Distribution Units record below HKEY_LOCAL_MACHINE, in the chosen view.
int ComposeUnitPath(wchar_t *path, int cap, BOOL wow64, const wchar_t *clsid,
                    const wchar_t *subkey);

// ---- control_servers.cpp ------------------------------------------------------------
// The control's server in each view that holds its class, the own view first.
struct ViewServer {
    int view;                      // kView32 or kView64
    DWORD type;                    // REG_SZ or REG_EXPAND_SZ
    int exists;                    // file names an existing file
    wchar_t path[kServerPathSize]; // as stored
    wchar_t file[kServerPathSize]; // as this process reaches it; empty when path names none
};
struct ControlServers {
    ControlInfo info;
    int count;
    ViewServer views[2];
};
void ReadControlServers(const wchar_t *progId, ControlServers *servers);
// Installed whole: a server in some view, and its file there in every view
// that has one.
int ServersExist(const ControlServers *servers);

// ---- browser_zones.cpp ------------------------------------------------------------
// A DWORD value name of the key at path below root in view (a flag or 0);
// 0 when it is missing or of another type.
int ReadDwordValue(HKEY root, const wchar_t *path, const wchar_t *name, REGSAM view, DWORD *value);
// URL action 1200, "run ActiveX controls and plug-ins", of zones 1 to 3
// (Local intranet, Trusted sites, Internet), and where its value came from.
const int kCheckedZones = 3;
const DWORD kActionAllow = 0;
const DWORD kActionPrompt = 1;
const DWORD kActionDeny = 3;
enum ZoneSource {
    kSourceMachinePolicy = 1, // HKLM\Software\Policies\...\Internet Settings\Zones
    kSourceUserPolicy = 2,    // the same below HKCU
    kSourceUser = 3,          // HKCU\Software\Microsoft\...\Internet Settings\Zones
    kSourceMachine = 4,       // the same below HKLM
    kSourceDefault = 5,       // none set: the zone's default lets them run
};
struct ZoneSetting {
    int zone;
    DWORD action;
    int source;
};
struct BrowserSettings {
    ZoneSetting zones[kCheckedZones];
    int ieModeLevel; // Edge's InternetExplorerIntegrationLevel policy; -1 when not set
};
void ReadBrowserSettings(BrowserSettings *settings);
int ZoneForbidsActiveX(const ZoneSetting *setting);

// ---- readiness.cpp -------------------------------------------------------------------
// What keeps the browser from loading a control, each a line that says what
// to do; none when it is ready.
enum ProblemCode {
    kProblemServerMissing = 1,     // no server, not a full path, the file gone or no DLL
    kProblemWrongMachine = 2,      // a DLL the processes of its view cannot load
    kProblemDependencyMissing = 3, // a DLL it imports is not found
    kProblemKillBit = 4,           // its kill bit is set
    kProblemAddOnDisabled = 5,     // the user disabled it in the add-on manager
    kProblemAddOnDenied = 6,       // the add-on list policy denies it
};
struct ReadinessProblem {
    int code;
    int view; // the view of the server it is about; 0 for the control as a whole
    wchar_t text[kProblemChars];
};
struct Readiness {
    int count;
    ReadinessProblem problems[kMaxProblems];
};
void CheckReadiness(const ControlServers *servers, Readiness *readiness);
// The problem's stable code: "server-missing", "kill-bit", ...
const wchar_t *ProblemCodeName(int code);

// ---- download.cpp -------------------------------------------------------------------
// The recorded download address of clsid in the chosen view; 0 when none.
int ReadDownloadAddress(BOOL wow64, const wchar_t *clsid, wchar_t *address, int cap);

// ---- wow64.cpp (its own object: the tests put their double in its place) -------------
BOOL IsWow64();
