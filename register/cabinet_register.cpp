// A cabinet: unpacked into a fresh folder, then every control file that
// came out of it is registered.
#include "register/register.h"

#include "controls/controls.h"
#include "base/cabinet_report.h"
#include "base/file_kind.h"
#include "base/text.h"

// The report shows "拖入文件路径:", the path, "\r\n新建文件夹:", the folder and
// "\r\n" before unpacking; longer paths are refused so it is never cut.
const size_t kMaxCabinetPath = MaxCabinetPathLength(kStatusTextSize);
// The decompressor joins the cabinet's folder and name in a MAX_PATH buffer
// and wants three bytes to spare; this also keeps the name within the
// extraction's name buffer.
const size_t kMaxDecompressorPath = MAX_PATH - 3;

// Converts path into ansiPath, in the ANSI code page, when every character
// is kept (nothing replaced, no look-alike chosen) and the decompressor can
// take the result; returns 1 then. *whole tells whether every character is
// kept, whatever the length.
static int ToDecompressorPath(const wchar_t *path, char *ansiPath, int *whole)
{
    ansiPath[0] = 0;
    return ToAnsiWhole(path, -1, ansiPath, (int)kMaxDecompressorPath + 1, whole) != 0;
}

// Puts the ANSI form of the path for the decompressor into ansiPath: the
// path itself when it converts whole and fits, else its short form when
// that does. Returns 0 then, else the refusal's CabinetOutcome.
static int ToAnsiPath(const wchar_t *path, char *ansiPath)
{
    if (TextLength(path) > kMaxCabinetPath)
        return kCabinetPathTooLong;
    int whole = 0, shortWhole = 0;
    if (ToDecompressorPath(path, ansiPath, &whole))
        return 0;
    wchar_t shortPath[MAX_PATH] = {};
    DWORD n = GetShortPathNameW(path, shortPath, MAX_PATH);
    if (n >= MAX_PATH)
        return kCabinetPathTooLong;
    if (n > 0 && ToDecompressorPath(shortPath, ansiPath, &shortWhole))
        return 0;
    return whole || shortWhole ? kCabinetPathTooLong : kCabinetPathUnconvertible;
}

// Registers every .ocx and .dll of the extraction folder and reports every
// control file whose ending is in another letter case; 1 when there was at
// least one control file and every one of them registered.
static int RegisterFolder(const CabinetReport *report)
{
    wchar_t folder[kFolderTextSize] = {};
    if (!CopyText(folder, kFolderTextSize, (const wchar_t *)g_extractFolderWide))
        return 0;
    // The folder's own path stays as it is; the pattern is composed beside it.
    wchar_t pattern[kExtractFolderWideSize] = {};
    if (!ComposeText(pattern, kExtractFolderWideSize, {(const wchar_t *)folder, L"*.*"}))
        return 0;

    int registered = 0, failed = 0;
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW(pattern, &found);
    if (find == INVALID_HANDLE_VALUE)
        return 0;
    do {
        // An equality test: the folder's own entries carry exactly this flag.
        if (found.dwFileAttributes == FILE_ATTRIBUTE_DIRECTORY)
            continue;
        wchar_t listed[kListedPathSize] = {};
        // A path that does not fit is skipped, never registered cut.
        if (!ComposeText(listed, kListedPathSize,
                         {(const wchar_t *)folder, (const wchar_t *)found.cFileName}))
            continue;
        const wchar_t *ending = ControlEndingIgnoringCase(listed);
        // Only what this extraction wrote, never a file someone put beside it.
        if (!ending || !WasWrittenByExtraction(found.cFileName))
            continue;
        // Only lower-case endings are registered, and the others said so.
        if (!IsControlFileName(listed)) {
            if (report->misnamed)
                report->misnamed(report->context, listed, ending);
            failed++;
            continue;
        }
        DWORD exitCode;
        int ok = RegisterControlFileForExit(listed, &exitCode);
        if (report->registered)
            report->registered(report->context, listed, ok, exitCode);
        if (ok == 1)
            registered++;
        else
            failed++;
    } while (FindNextFileW(find, &found));
    FindClose(find);
    return registered > 0 && failed == 0;
}

int UnpackAndRegisterCabinet(const wchar_t *path, const CabinetReport *report)
{
    char ansiPath[kCabinetAnsiPathSize] = {};
    int refusal = ToAnsiPath(path, ansiPath);
    if (refusal)
        return refusal;
    int extracted = ExtractCabinet(path, ansiPath, report);
    if (extracted != kCabinetUnpacked && extracted != kCabinetStopped)
        return extracted;
    int registered = RegisterFolder(report);
    ReleaseExtractFolder();
    if (extracted == kCabinetStopped)
        return kCabinetStopped;
    return registered && !RefusedByExtraction() ? kCabinetRegistered : kCabinetNotRegistered;
}
