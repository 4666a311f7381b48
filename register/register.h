// The registration engine: the registrar runner, the diagnosis of a failed
// registration, a cabinet unpacked and its control files registered, and
// the tool's own folders below C:\OrviActiveX (on the system drive), made
// fresh with a DACL that lets no one but administrators write and looked at
// before anything in them is trusted. No window code: each program reports
// what it is told in its own way. Grouped by the file that defines it.
#pragma once

#include <windows.h>

#include <stddef.h>

#include "base/limits.h"

// ---- system_dlls.cpp ------------------------------------------------------------
// Called first thing by each program: every later load of a DLL by name (the
// program's own, the shell's) looks in the system folder alone, never in the
// program's folder.
void LoadDllsFromSystemFolderOnly();

// ---- registrar.cpp ------------------------------------------------------------
int RegisterControlFile(const wchar_t *path);
int UnregisterControlFile(const wchar_t *path);
// The same with the registrar of a registry view (kView32, kView64 as
// controls/controls.h names them; 0: the process's own): a control
// registered in the other view is unregistered by the registrar that reads
// its paths as the view does.
int UnregisterControlFileInView(const wchar_t *path, int view);
int RunAndWait(const wchar_t *program, const wchar_t *parameters);
// Both also hand back the registrar's exit code ((DWORD)-1 when it did not run).
int RunAndWaitForExit(const wchar_t *program, const wchar_t *parameters, DWORD *exitCode);
int RegisterControlFileForExit(const wchar_t *path, DWORD *exitCode);

// ---- diagnosis.cpp ----------------------------------------------------------------
// Why registering path failed, in one line a person can act on: from the
// file itself (missing, empty, unreadable, no PE DLL, another machine, an
// imported DLL that cannot be found) or, when the file looks sound, from
// the registrar's exit code. Called only after a registration failed.
void DiagnoseRegistration(const wchar_t *path, DWORD exitCode, wchar_t *reason, size_t cap);
// What keeps an installed server file (file, as this process reaches it)
// from loading in a process of its registry view (kView32, kView64), by the
// same look at the file: kServerLoads, or why not in reason (for
// kServerWrongMachine the file's machine; a missing DLL with what to do).
enum InstalledServerVerdict {
    kServerLoads = 0,
    kServerUnloadable = 1,   // missing, unreadable, empty, a folder, no PE DLL
    kServerWrongMachine = 2, // a DLL of another machine than the view's processes
    kServerNeedsDll = 3,     // a DLL it imports is not where its loader looks
};
int DiagnoseInstalledServer(const wchar_t *file, int view, wchar_t *reason, size_t cap);

// ---- cabinet_register.cpp -------------------------------------------------------
// What unpacking and registering a cabinet tell their caller as they go.
// Any callback may be NULL.
struct CabinetReport {
    void *context;
    // The fresh numbered folder is made; unpacking starts.
    void (*folderMade)(void *context, const wchar_t *cabinetPath, const wchar_t *folder);
    // One output path (control characters shown as '?'), listed before the
    // file is written.
    void (*unpacked)(void *context, const wchar_t *path);
    // One stored name the folder must not take (a folder part, a drive, a
    // device name, ...), as its output path would read: not written, and
    // unpacking goes on with the next file.
    void (*refused)(void *context, const wchar_t *path);
    // Unpacking ended before the cabinet's end (it is damaged or incomplete)
    // after some file came out; what came out whole is still registered.
    void (*stopped)(void *context);
    // One control file's registration: ok, and the registrar's exit code.
    void (*registered)(void *context, const wchar_t *path, int ok, DWORD exitCode);
    // One control file not registered because its ending is in another
    // letter case (".OCX"); ending is the lower-case one it needs.
    void (*misnamed)(void *context, const wchar_t *path, const wchar_t *ending);
};

// Outcomes of unpacking and registering a cabinet. Only kCabinetRegistered
// is a success.
enum CabinetOutcome {
    kCabinetPathTooLong = 1,   // refused before anything was done
    kCabinetNotUnpacked = 2,   // no folder to unpack into
    kCabinetRegistered = 3,    // every file unpacked whole, every control file registered
    kCabinetNotRegistered = 4, // a control file failed or was misnamed, none in it, a name refused
    kCabinetPathUnconvertible = 5, // refused: characters the ANSI code page lacks
    kCabinetNoDecompressor = 6,    // the decompressor could not be set up
    kCabinetUnpacked = 7,          // the extraction alone went through to the cabinet's end
    kCabinetUnreadable = 8,        // nothing came out: no cabinet, or damaged before its first file
    kCabinetStopped = 9, // unpacking stopped after some file; what came out whole was registered
    kCabinetUnsafeBaseFolder = 10, // refused: C:\OrviActiveX cannot be used safely
};
// Unpacks the cabinet into a fresh folder and registers every control file
// that came out of it, telling report. Returns a CabinetOutcome.
int UnpackAndRegisterCabinet(const wchar_t *path, const CabinetReport *report);

// ---- cabinet_extract.cpp ---------------------------------------------------------
// The last extraction's folder as wide text, ending in a slash.
extern wchar_t g_extractFolderWide[kExtractFolderWideSize];

// Unpacks the cabinet named by widePath (ansiPath is the same path in the
// ANSI code page; it is cut after its last backslash), telling report of the
// folder, of every output path and of every refused name. Returns
// kCabinetUnpacked (through to the cabinet's end) or kCabinetStopped (some
// file came out, then the copy failed) when the folder in
// g_extractFolderWide may be registered; kCabinetUnreadable,
// kCabinetNotUnpacked, kCabinetNoDecompressor or kCabinetUnsafeBaseFolder
// otherwise.
int ExtractCabinet(const wchar_t *widePath, char *ansiPath, const CabinetReport *report);

// Creates a new numbered folder in baseFolder (held by the extraction),
// writing its path (ending in a slash) into folder. The numbered folder is
// protected and held open until ReleaseExtractFolder. Returns 0 when no
// fresh folder could be made.
int CreateExtractFolder(const char *baseFolder, char *folder, size_t cap);

// 1 when the last extraction wrote the control file of this name (as the
// folder lists it) whole into its folder.
int WasWrittenByExtraction(const wchar_t *name);
// The number of stored names the last extraction refused.
int RefusedByExtraction();
// Lets go of the numbered folder and the base folder once its files are registered.
void ReleaseExtractFolder();

// ---- protected_folder.cpp --------------------------------------------------------
// The tool's folder at the root of the system drive, each part followed by
// separator: "C:/OrviActiveX/" or "C:\OrviActiveX\".
int ComposeToolFolder(wchar_t *path, size_t cap, const wchar_t *separator);

// The base folder, held open as itself without delete sharing, so it can be
// neither renamed nor deleted while held: made with the protected DACL when
// missing. One that exists is used only when it is a folder and no reparse
// point, owned by SYSTEM, the administrators or this process's user; it then
// gets the tool's owner (the administrators) and protected DACL, through the
// same handle, unless it keeps others out already. Earlier versions made it
// with the default security, under which it inherits the root's grants, and
// the controls of their cabinets live in it. INVALID_HANDLE_VALUE when it
// cannot be used so; the caller closes the handle. Without change (a reader,
// who may not be elevated) it is only held: nothing is made or changed, and
// it must be there, a folder and no reparse point.
HANDLE HoldBaseFolder(int change);

// Creates the folder with the protected DACL. 0 when it was not made (it
// exists already, say), with the creation's error left as the last error.
int CreateProtectedFolder(const wchar_t *path);

// 1 when a folder on the way to path, or path itself, is a reparse point
// (a junction or a symbolic link). The drive or share at its start is not
// looked at, and the look ends at the first part that does not exist.
int PathHasReparsePoint(const wchar_t *path);

// 1 when the file or folder behind handle (opened with READ_CONTROL) is
// owned by SYSTEM, the administrators or this process's own user, and its
// DACL lets no one else write, add, delete or change its protection.
int IsProtectedObject(HANDLE handle);
