// Cabinet extraction with the platform's decompressor (FDI of cabinet.dll)
// into a fresh numbered folder at the root of the system drive.
#pragma once

#include <windows.h>

#include "base/limits.h"

#include <stddef.h>

// The last extraction's folder as wide text, ending in a slash.
extern wchar_t g_extractFolderWide[kExtractFolderWideSize];

// Where a cabinet's unpacking and registration report. The window's sink
// shows the running report in g_notifyEdit and failures in boxes it owns;
// another caller sets its own before it unpacks.
struct CabinetSink {
    void (*showReport)(const wchar_t *report); // g_statusText after every change
    void (*listFile)(const wchar_t *path);     // one output path, as it is unpacked
    void (*showError)(const wchar_t *text);    // a failure of the extraction itself
    void (*registered)(const wchar_t *path, int ok, DWORD exitCode); // one control file
};
extern const CabinetSink kWindowCabinetSink;
extern const CabinetSink *g_cabinetSink;

// Unpacks the cabinet named by widePath (ansiPath is the same path in the
// ANSI code page; it is cut after its last backslash). Returns 1 when the
// folder in g_extractFolderWide may be registered, 0 after the "error" box.
int ExtractCabinet(const wchar_t *widePath, char *ansiPath);

// Creates baseFolder and a new numbered folder in it, writing the numbered
// folder's path (ending in a slash) into folder. The numbered folder is
// protected and held open until ReleaseExtractFolder. Returns 0 when no
// fresh folder could be made.
int CreateExtractFolder(const char *baseFolder, char *folder, size_t cap);

// 1 when the last extraction wrote the control file of this name (as the
// folder lists it) into its folder.
int WasWrittenByExtraction(const wchar_t *name);
// Lets go of the numbered folder once its files are registered.
void ReleaseExtractFolder();
// Keeps a visible edit from painting while the report in it is rewritten and
// scrolled; returns whether it did. ReleasePainting has it repainted as a whole
// once the thread is back at its messages.
int HoldPainting(HWND edit);
void ReleasePainting(HWND edit, int held);
