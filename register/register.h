// Control file registration: dropped files, the registrar runner and cabinets.
#pragma once

#include <windows.h>

#include "base/limits.h"

// Running report of a cabinet drop; "拖入文件路径:" at rest.
extern wchar_t g_statusText[kStatusTextSize];

// The refusal of a dropped path too long to be handled.
extern const wchar_t kPathTooLong[];

void HandleDroppedFile(HWND window, HDROP drop);

int RegisterControlFile(const wchar_t *path);
int UnregisterControlFile(const wchar_t *path);
int RunAndWait(const wchar_t *program, const wchar_t *parameters);
// Both also hand back the registrar's exit code ((DWORD)-1 when it did not run).
int RunAndWaitForExit(const wchar_t *program, const wchar_t *parameters, DWORD *exitCode);
int RegisterControlFileForExit(const wchar_t *path, DWORD *exitCode);

void RegisterCabinet(const wchar_t *path);

// Outcomes of unpacking and registering a cabinet.
enum CabinetOutcome {
    kCabinetPathTooLong = 1, // refused before anything was done
    kCabinetNotUnpacked = 2, // the extraction failed; its sink was told
    kCabinetRegistered = 3,  // at least one control file registered
    kCabinetNotRegistered = 4,
    kCabinetPathUnconvertible = 5, // refused: characters the ANSI code page lacks
};
// Unpacks the cabinet and registers every control file that came out of it,
// through g_cabinetSink; the report in g_statusText then ends with the
// status line. Returns a CabinetOutcome.
int UnpackAndRegisterCabinet(const wchar_t *path);
