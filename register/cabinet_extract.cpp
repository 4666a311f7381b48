// Unpacks a dropped cabinet with the decompressor of cabinet.dll into a fresh
// numbered folder, telling the caller of every unpacked file. cabinet.dll is
// loaded at run time from the system folder: it is not one of the system's
// known DLLs, so an import of it would be taken from the program's folder.
#include "register/register.h"

#include "base/cabinet_report.h"
#include "base/file_kind.h"
#include "base/stored_name.h"
#include "base/text.h"
#include "controls/controls.h"

#include <fcntl.h>
#include <fdi.h>
#include <io.h>
#include <share.h>
#include <stdlib.h>
#include <sys/stat.h>

static char g_extractFolder[kExtractFolderSize];
wchar_t g_extractFolderWide[kExtractFolderWideSize];
static ERF g_cabError;

// Folders tried after the one named by the current second before giving up.
const int kFolderTries = 100;
// Attributes restored on unpacked files: read-only, hidden, system, archive.
const USHORT kRestoredAttributes = 0x27;

// The base folder and the numbered folder, held open from before the
// numbered folder is made until its files are registered. Without delete
// sharing nobody can rename or delete either in the meantime.
static HANDLE g_baseFolderHandle = INVALID_HANDLE_VALUE;
static HANDLE g_extractFolderHandle = INVALID_HANDLE_VALUE;

// What one copy keeps between the decompressor's notifications, handed to
// them as the copy's user value. The written names outlive the copy: only
// these are registered from the folder.
struct ExtractionState {
    const CabinetReport *report;
    wchar_t written[kWrittenNamesSize]; // control file names, each with its terminator
    size_t writtenUsed;
    int files;   // files the decompressor offered, refused ones among them
    int refused; // names the folder must not take
    // The stored name of the file closed last: whole only once the copy goes
    // on past it, as the decompressor also closes a file it gave up on.
    char closed[kOutputPathSize];
};
static ExtractionState g_extraction;

// The decompressor's three functions, taken by ordinal (20, 22, 23).
struct Decompressor {
    decltype(&FDICreate) create;
    decltype(&FDICopy) copy;
    decltype(&FDIDestroy) destroy;
};

// Loads the system's cabinet.dll once and takes its functions; 0 when it or
// one of them is missing.
static int LoadDecompressor(Decompressor *fdi)
{
    static HMODULE module;
    if (!module)
        module = LoadLibraryExW(L"cabinet.dll", NULL, LOAD_LIBRARY_SEARCH_SYSTEM32);
    // A Windows 7 without its loader update knows no search flags: the full
    // path names the same file.
    if (!module && GetLastError() == ERROR_INVALID_PARAMETER) {
        wchar_t path[MAX_PATH] = {};
        UINT n = GetSystemDirectoryW(path, MAX_PATH);
        if (n > 0 && n < MAX_PATH && AppendText(path, MAX_PATH, L"\\cabinet.dll"))
            module = LoadLibraryExW(path, NULL, LOAD_WITH_ALTERED_SEARCH_PATH);
    }
    if (!module)
        return 0;
    fdi->create = (decltype(&FDICreate))(void *)GetProcAddress(module, MAKEINTRESOURCEA(20));
    fdi->copy = (decltype(&FDICopy))(void *)GetProcAddress(module, MAKEINTRESOURCEA(22));
    fdi->destroy = (decltype(&FDIDestroy))(void *)GetProcAddress(module, MAKEINTRESOURCEA(23));
    return fdi->create && fdi->copy && fdi->destroy;
}

static FNFDINOTIFY(FdiNotify);
static FNALLOC(FdiAlloc);
static FNFREE(FdiFree);
static FNOPEN(FdiOpen);
static FNREAD(FdiRead);
static FNWRITE(FdiWrite);
static FNCLOSE(FdiClose);
static FNSEEK(FdiSeek);

static int IsAnsiLeadByte(unsigned char byte)
{
    return IsDBCSLeadByteEx(CP_ACP, byte) != 0;
}

// The stored name is written under its ANSI path, which the platform turns
// into Unicode with the ANSI code page; some device names (COM¹) show only there.
static int IsPlainAnsiStoredName(const char *name)
{
    if (!IsPlainStoredName(name, IsAnsiLeadByte))
        return 0;
    wchar_t wide[kExtractWidePathSize] = {};
    if (!MultiByteToWideChar(CP_ACP, 0, name, -1, wide, kExtractWidePathSize))
        return 0;
    return !IsDeviceStoredName(wide);
}

// The name a stored control file (its ending in any letter case) has in the
// folder's listing (the platform drops trailing dots and spaces of a file
// name); 0 for any other file.
static int ListedControlName(const char *storedName, wchar_t *name)
{
    if (!MultiByteToWideChar(CP_ACP, 0, storedName, -1, name, kExtractWidePathSize))
        return 0;
    size_t n = TextLength(name);
    while (n > 0 && (name[n - 1] == L'.' || name[n - 1] == L' '))
        name[--n] = 0;
    return ControlEndingIgnoringCase(name) != NULL;
}

// The kept entry for name, or NULL. Names are compared as the file system
// compares them (ordinal, ignoring case): two stored names that differ only
// in case are written into one file.
static wchar_t *FindWrittenName(ExtractionState *state, const wchar_t *name)
{
    for (size_t at = 0; at < state->writtenUsed; at += TextLength(state->written + at) + 1) {
        if (SameName(state->written + at, name))
            return state->written + at;
    }
    return NULL;
}

// Keeps the name of a control file written whole into the folder. Only
// control files are ever registered or reported, so only their names are
// kept; a name that no longer fits is not kept, and that file is not
// registered.
static void RecordWrittenName(ExtractionState *state, const char *storedName)
{
    wchar_t name[kExtractWidePathSize] = {};
    if (!ListedControlName(storedName, name) || FindWrittenName(state, name))
        return;
    if (!CopyText(state->written + state->writtenUsed, kWrittenNamesSize - state->writtenUsed,
                  (const wchar_t *)name))
        return;
    state->writtenUsed += TextLength(name) + 1;
}

// The file closed last was whole: the copy went on past it.
static void KeepClosedFile(ExtractionState *state)
{
    if (state->closed[0])
        RecordWrittenName(state, state->closed);
    state->closed[0] = 0;
}

// A later file of the same name is about to overwrite one written whole: it
// counts again only once it is written whole itself. A '*' ends no file
// name, so the entry matches nothing any more.
static void ForgetWrittenName(ExtractionState *state, const char *storedName)
{
    wchar_t name[kExtractWidePathSize] = {};
    wchar_t *entry = ListedControlName(storedName, name) ? FindWrittenName(state, name) : NULL;
    if (entry)
        entry[0] = L'*';
}

int WasWrittenByExtraction(const wchar_t *name)
{
    return FindWrittenName(&g_extraction, name) != NULL;
}

int RefusedByExtraction()
{
    return g_extraction.refused;
}

static void Release(HANDLE *held)
{
    if (*held != INVALID_HANDLE_VALUE)
        CloseHandle(*held);
    *held = INVALID_HANDLE_VALUE;
}

void ReleaseExtractFolder()
{
    Release(&g_extractFolderHandle);
    Release(&g_baseFolderHandle);
}

// Creates the numbered folder with its own protection and holds it open;
// 0 with the error of the creation when it cannot be made.
static int CreateHeldFolder(const wchar_t *path)
{
    if (!CreateProtectedFolder(path))
        return 0;
    Release(&g_extractFolderHandle);
    g_extractFolderHandle =
        CreateFileW(path, FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, NULL);
    if (g_extractFolderHandle == INVALID_HANDLE_VALUE) {
        SetLastError(ERROR_ACCESS_DENIED);
        return 0;
    }
    return 1;
}

// Tells the caller of an output path before the file is written, or of a
// refused name as its output path would read.
static void ReportOutputPath(ExtractionState *state, const char *path,
                             void (*tell)(void *context, const wchar_t *path))
{
    wchar_t wide[kExtractWidePathSize] = {};
    if (!tell || !MultiByteToWideChar(CP_ACP, 0, path, -1, wide, kExtractWidePathSize))
        return;
    MaskControlCharacters(wide);
    tell(state->report->context, wide);
}

// Current Unix time, low 32 bits as a signed number.
static long long UnixTimeNumber()
{
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    ULONGLONG ticks = ((ULONGLONG)now.dwHighDateTime << 32) | now.dwLowDateTime;
    ULONGLONG seconds = (ticks - 116444736000000000ULL) / 10000000ULL;
    return (long long)(INT32)(UINT32)seconds;
}

int CreateExtractFolder(const char *baseFolder, char *folder, size_t cap)
{
    wchar_t wide[kExtractWidePathSize] = {};
    // A folder that exists already belongs to an earlier extraction (or to
    // someone else): take the next number up, so nothing is unpacked over it.
    long long number = UnixTimeNumber();
    for (int i = 0; i < kFolderTries; i++, number++) {
        char digits[kDecimalSize] = {};
        FormatDecimal(digits, sizeof(digits), number);
        if (!ComposeText(folder, cap, {baseFolder, (const char *)digits, "/"}))
            return 0;
        if (!MultiByteToWideChar(CP_ACP, 0, folder, -1, wide, kExtractWidePathSize))
            return 0;
        if (CreateHeldFolder(wide))
            return 1;
        // Nothing is unpacked when the folder cannot be made at all.
        if (GetLastError() != ERROR_ALREADY_EXISTS)
            break;
    }
    folder[0] = 0;
    return 0;
}

// Base folder at the root of the system drive, e.g. "C:/OrviActiveX/".
static int GetBaseFolder(char *base, int cap)
{
    wchar_t wide[MAX_PATH] = {};
    if (!ComposeToolFolder(wide, MAX_PATH, L"/"))
        return 0;
    return WideCharToMultiByte(CP_ACP, 0, wide, -1, base, cap, NULL, NULL) != 0;
}

int ExtractCabinet(const wchar_t *widePath, char *ansiPath, const CabinetReport *report)
{
    // The decompressor takes the cabinet's name and its folder apart.
    char name[kCabinetNameSize] = {};
    char *slash = NULL;
    for (char *p = ansiPath; *p; p++) {
        if (*p == '\\')
            slash = p;
    }
    if (slash) {
        if (!CopyText(name, kCabinetNameSize, (const char *)slash + 1))
            return kCabinetNotUnpacked;
        slash[1] = 0;
    }

    g_extraction.report = report;
    g_extraction.writtenUsed = 0;
    g_extraction.files = 0;
    g_extraction.refused = 0;
    g_extraction.closed[0] = 0;
    char base[MAX_PATH] = {};
    char folder[kOutputPathSize] = {};
    ReleaseExtractFolder();
    g_baseFolderHandle = HoldBaseFolder(1);
    if (g_baseFolderHandle == INVALID_HANDLE_VALUE)
        return kCabinetUnsafeBaseFolder;
    if (!GetBaseFolder(base, MAX_PATH) || !CreateExtractFolder(base, folder, kOutputPathSize) ||
        !CopyText(g_extractFolder, kExtractFolderSize, (const char *)folder) ||
        !MultiByteToWideChar(CP_ACP, 0, g_extractFolder, -1, g_extractFolderWide,
                             kExtractFolderWideSize) ||
        TextLength(g_extractFolderWide) > (size_t)kMaxFolderLength) {
        g_extractFolder[0] = 0;
        g_extractFolderWide[0] = 0;
        ReleaseExtractFolder();
        return kCabinetNotUnpacked;
    }
    if (report->folderMade)
        report->folderMade(report->context, widePath, g_extractFolderWide);

    Decompressor fdi = {};
    HFDI context = NULL;
    if (LoadDecompressor(&fdi))
        context = fdi.create(FdiAlloc, FdiFree, FdiOpen, FdiRead, FdiWrite, FdiClose, FdiSeek,
                             cpu80386, &g_cabError);
    if (!context) {
        ReleaseExtractFolder();
        return kCabinetNoDecompressor;
    }
    BOOL copied = fdi.copy(context, name, ansiPath, 0, FdiNotify, NULL, &g_extraction);
    fdi.destroy(context);
    if (copied) {
        KeepClosedFile(&g_extraction);
        return kCabinetUnpacked;
    }
    // What came out whole before the copy failed is still registered.
    if (g_extraction.files > 0) {
        if (report->stopped)
            report->stopped(report->context);
        return kCabinetStopped;
    }
    ReleaseExtractFolder();
    return kCabinetUnreadable;
}

// Returning 0 skips a file and the copy goes on; -1 ends the copy.
static INT_PTR CopyFileNotification(PFDINOTIFICATION info)
{
    ExtractionState *state = (ExtractionState *)info->pv;
    KeepClosedFile(state);
    state->files++;
    char path[kOutputPathSize] = {};
    // A path that does not fit is refused, never cut (a stored name of the
    // format's 255 bytes always fits).
    if (!ComposeText(path, kOutputPathSize,
                     {(const char *)g_extractFolder, (const char *)info->psz1})) {
        state->refused++;
        return 0;
    }
    // A name that would leave the folder is refused; the other files still come out.
    if (!IsPlainAnsiStoredName(info->psz1)) {
        state->refused++;
        ReportOutputPath(state, path, state->report->refused);
        return 0;
    }
    ReportOutputPath(state, path, state->report->unpacked);
    ForgetWrittenName(state, info->psz1);
    return _sopen(path, _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY | _O_SEQUENTIAL, _SH_DENYNO,
                  _S_IREAD | _S_IWRITE);
}

// The file's name is kept for registration only once the copy has gone on
// past it: a decompressor may send this for a file it gave up on (Wine's
// does) and then end the copy, and a part of a file is never registered.
static INT_PTR CloseFileNotification(PFDINOTIFICATION info)
{
    char path[kOutputPathSize] = {};
    wchar_t wide[kExtractWidePathSize] = {};
    int named = ComposeText(path, kOutputPathSize,
                            {(const char *)g_extractFolder, (const char *)info->psz1}) &&
                MultiByteToWideChar(CP_ACP, 0, path, -1, wide, kExtractWidePathSize);
    // A file whose last writes did not reach the disk is not whole.
    if (FdiClose(info->hf) != 0)
        return FALSE;
    CopyText(((ExtractionState *)info->pv)->closed, kOutputPathSize, (const char *)info->psz1);
    if (!named)
        return 1;

    HANDLE file = CreateFileW(wide, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, NULL,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file != INVALID_HANDLE_VALUE) {
        FILETIME local, utc;
        if (DosDateTimeToFileTime(info->date, info->time, &local) == TRUE &&
            LocalFileTimeToFileTime(&local, &utc) == TRUE)
            SetFileTime(file, &utc, NULL, &utc);
        CloseHandle(file);
    }
    SetFileAttributesW(wide, info->attribs & kRestoredAttributes);
    return 1;
}

static FNFDINOTIFY(FdiNotify)
{
    switch (fdint) {
    case fdintCOPY_FILE:
        return CopyFileNotification(pfdin);
    case fdintCLOSE_FILE_INFO:
        return CloseFileNotification(pfdin);
    case fdintNEXT_CABINET:
        // The decompressor asks again after every failed attempt at the next
        // cabinet of a set; giving up then ends the copy instead of looping.
        return pfdin->fdie == FDIERROR_NONE ? 0 : -1;
    default:
        return 0;
    }
}

static FNALLOC(FdiAlloc)
{
    return malloc(cb);
}

static FNFREE(FdiFree)
{
    free(pv);
}

static FNOPEN(FdiOpen)
{
    return _sopen(pszFile, oflag, _SH_DENYNO, pmode);
}

static FNREAD(FdiRead)
{
    return (UINT)_read((int)hf, pv, cb);
}

static FNWRITE(FdiWrite)
{
    return (UINT)_write((int)hf, pv, cb);
}

static FNCLOSE(FdiClose)
{
    return _close((int)hf);
}

static FNSEEK(FdiSeek)
{
    return _lseek((int)hf, dist, seektype);
}
