// Cabinet extraction with the platform's decompressor (FDI of cabinet.dll)
// into a fresh numbered folder at the root of the system drive.
#pragma once

#include <windows.h>

#include "base/limits.h"
#include "register/register.h"

#include <stddef.h>

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
