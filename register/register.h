// The registration engine: the registrar runner, and a cabinet unpacked and
// its control files registered. No window code: each program reports what
// it is told in its own way.
#pragma once

#include <windows.h>

#include "base/limits.h"

// ---- registrar.cpp ------------------------------------------------------------
int RegisterControlFile(const wchar_t *path);
int UnregisterControlFile(const wchar_t *path);
int RunAndWait(const wchar_t *program, const wchar_t *parameters);
// Both also hand back the registrar's exit code ((DWORD)-1 when it did not run).
int RunAndWaitForExit(const wchar_t *program, const wchar_t *parameters, DWORD *exitCode);
int RegisterControlFileForExit(const wchar_t *path, DWORD *exitCode);

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
    // One control file's registration: ok, and the registrar's exit code.
    void (*registered)(void *context, const wchar_t *path, int ok, DWORD exitCode);
};

// Outcomes of unpacking and registering a cabinet.
enum CabinetOutcome {
    kCabinetPathTooLong = 1,       // refused before anything was done
    kCabinetNotUnpacked = 2,       // the extraction failed
    kCabinetRegistered = 3,        // at least one control file registered
    kCabinetNotRegistered = 4,     // unpacked, but no control file registered
    kCabinetPathUnconvertible = 5, // refused: characters the ANSI code page lacks
    kCabinetNoDecompressor = 6,    // the decompressor could not be set up
    kCabinetUnpacked = 7,          // the extraction alone went through
};
// Unpacks the cabinet into a fresh folder and registers every control file
// that came out of it, telling report. Returns a CabinetOutcome.
int UnpackAndRegisterCabinet(const wchar_t *path, const CabinetReport *report);
