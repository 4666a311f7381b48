// Unpacks a dropped cabinet with the decompressor of cabinet.dll into a fresh
// numbered folder and reports every unpacked file in the processing edit.
#include "register/cabinet.h"

#include "app/app.h"
#include "app/text.h"
#include "register/register.h"
#include "register/stored_name.h"

#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <stdlib.h>
#include <sys/stat.h>

HWND g_notifyEdit;
char g_extractFolder[kExtractFolderSize];
wchar_t g_extractFolderWide[kExtractFolderWideSize];
ERF g_cabError;

const int kOutputPathSize = 512;
const int kWidePathSize = 1000;
const int kCabinetNameSize = 500;
// Folders tried after the one named by the current second before giving up.
const int kFolderTries = 100;
// Attributes restored on unpacked files: read-only, hidden, system, archive.
const USHORT kRestoredAttributes = 0x27;

// Set once the file list has been cut; later lines are left out.
static int g_reportCut;

static void ShowErrorBox()
{
    MessageBoxW(g_notifyEdit, L"error", L"", MB_OK);
}

// Lists an output path in the report and shows the report.
static void ReportOutputPath(const char *path)
{
    wchar_t wide[kWidePathSize] = {};
    if (!MultiByteToWideChar(CP_ACP, 0, path, -1, wide, kWidePathSize))
        return;
    MaskControlCharacters(wide);
    wchar_t line[kWidePathSize + 2] = {};
    if (ComposeText(line, kWidePathSize + 2, {(const wchar_t *)wide, L"\r\n"}))
        AppendListLine(g_statusText, kStatusTextSize, &g_reportCut, line);
    SetWindowTextW(g_notifyEdit, g_statusText);
}

// Setting the edit's text, or scrolling it, repaints its scroll bar at once:
// per file that cost a fifth of the whole unpacking, though the window cannot
// repaint anyway while the work holds its thread. The default procedure takes
// the message, as Wine's edit keeps WM_SETREDRAW to itself and goes on
// painting. A hidden edit is left alone, so the page stays as painting made it.
int HoldPainting(HWND edit)
{
    if (!(GetWindowLongW(edit, GWL_STYLE) & WS_VISIBLE))
        return 0;
    DefWindowProcW(edit, WM_SETREDRAW, FALSE, 0);
    return 1;
}

void ReleasePainting(HWND edit, int held)
{
    if (!held)
        return;
    DefWindowProcW(edit, WM_SETREDRAW, TRUE, 0);
    RedrawWindow(edit, NULL, NULL, RDW_ERASE | RDW_FRAME | RDW_INVALIDATE);
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
    wchar_t wide[kWidePathSize] = {};
    if (!MultiByteToWideChar(CP_ACP, 0, baseFolder, -1, wide, kWidePathSize))
        return 0;
    CreateDirectoryW(wide, NULL);

    // A folder that exists already belongs to an earlier extraction (or to
    // someone else): take the next number up, so nothing is unpacked over it.
    long long number = UnixTimeNumber();
    for (int i = 0; i < kFolderTries; i++, number++) {
        char digits[24] = {};
        FormatDecimal(digits, sizeof(digits), number);
        if (!ComposeText(folder, cap, {baseFolder, (const char *)digits, "/"}))
            return 0;
        if (!MultiByteToWideChar(CP_ACP, 0, folder, -1, wide, kWidePathSize))
            return 0;
        if (CreateDirectoryW(wide, NULL))
            return 1;
        // Any other failure shows when the output files cannot be created.
        if (GetLastError() != ERROR_ALREADY_EXISTS)
            return 1;
    }
    folder[0] = 0;
    return 0;
}

// Base folder at the root of the system drive, e.g. "C:/OrviActiveX/".
static int GetBaseFolder(char *base, int cap)
{
    wchar_t systemDir[MAX_PATH] = {};
    UINT n = GetSystemDirectoryW(systemDir, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return 0;
    wchar_t drive[2] = {systemDir[0], 0};
    wchar_t wide[MAX_PATH] = {};
    if (!ComposeText(wide, MAX_PATH, {(const wchar_t *)drive, L":/OrviActiveX/"}))
        return 0;
    return WideCharToMultiByte(CP_ACP, 0, wide, -1, base, cap, NULL, NULL) != 0;
}

// Appends the cabinet path and the new folder to the report. A report left
// over from an earlier cabinet that leaves no room is started afresh.
static void ReportNewFolder(const wchar_t *widePath)
{
    wchar_t text[kStatusTextSize] = {};
    ComposeReportHead(text, kStatusTextSize, g_statusText, widePath, g_extractFolderWide);
    if (text[0])
        CopyText(g_statusText, kStatusTextSize, (const wchar_t *)text);
    SetWindowTextW(g_notifyEdit, g_statusText);
}

int ExtractCabinet(const wchar_t *widePath, char *ansiPath)
{
    g_notifyEdit = g_infoEdit;

    // The decompressor takes the cabinet's name and its folder apart.
    char name[kCabinetNameSize] = {};
    char *slash = NULL;
    for (char *p = ansiPath; *p; p++) {
        if (*p == '\\')
            slash = p;
    }
    if (slash) {
        if (!CopyText(name, kCabinetNameSize, (const char *)slash + 1)) {
            ShowErrorBox();
            return 0;
        }
        slash[1] = 0;
    }

    char base[MAX_PATH] = {};
    char folder[kOutputPathSize] = {};
    if (!GetBaseFolder(base, MAX_PATH) || !CreateExtractFolder(base, folder, kOutputPathSize) ||
        !CopyText(g_extractFolder, kExtractFolderSize, (const char *)folder) ||
        !MultiByteToWideChar(CP_ACP, 0, g_extractFolder, -1, g_extractFolderWide, kExtractFolderWideSize) ||
        TextLength(g_extractFolderWide) > (size_t)kMaxFolderLength) {
        g_extractFolder[0] = 0;
        g_extractFolderWide[0] = 0;
        ShowErrorBox();
        return 0;
    }

    // Painting comes back before any message box, whose loop repaints the window.
    int held = HoldPainting(g_notifyEdit);
    ReportNewFolder(widePath);
    CopyText(g_statusText, kStatusTextSize, L"解压文件列表:\r\n");
    g_reportCut = 0;

    HFDI context = FDICreate(FdiAlloc, FdiFree, FdiOpen, FdiRead, FdiWrite, FdiClose, FdiSeek, cpu80386,
                             &g_cabError);
    if (!context) {
        ReleasePainting(g_notifyEdit, held);
        MessageBoxW(g_notifyEdit, L"", L"", MB_OK);
        ShowErrorBox();
        return 0;
    }
    BOOL copied = FDICopy(context, name, ansiPath, 0, FdiNotify, NULL, NULL);
    ReleasePainting(g_notifyEdit, held);
    BOOL destroyed = FDIDestroy(context);
    // A failed copy is not reported: what came out before it gets registered.
    if (copied || destroyed)
        return 1;
    ShowErrorBox();
    return 0;
}

static INT_PTR CopyFileNotification(PFDINOTIFICATION info)
{
    char path[kOutputPathSize] = {};
    // A path that does not fit is skipped, never cut.
    if (!ComposeText(path, kOutputPathSize, {(const char *)g_extractFolder, (const char *)info->psz1}))
        return 0;
    ReportOutputPath(path);
    // A name that would leave the folder ends the copy here.
    if (!IsPlainStoredName(info->psz1))
        return -1;
    return _sopen(path, _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY | _O_SEQUENTIAL, _SH_DENYNO,
                  _S_IREAD | _S_IWRITE);
}

static INT_PTR CloseFileNotification(PFDINOTIFICATION info)
{
    char path[kOutputPathSize] = {};
    wchar_t wide[kWidePathSize] = {};
    int named = ComposeText(path, kOutputPathSize, {(const char *)g_extractFolder, (const char *)info->psz1}) &&
                MultiByteToWideChar(CP_ACP, 0, path, -1, wide, kWidePathSize);
    FdiClose(info->hf);
    if (!named)
        return 1;

    HANDLE file = CreateFileW(wide, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, NULL);
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

FNFDINOTIFY(FdiNotify)
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

FNALLOC(FdiAlloc)
{
    return malloc(cb);
}

FNFREE(FdiFree)
{
    free(pv);
}

FNOPEN(FdiOpen)
{
    return _sopen(pszFile, oflag, _SH_DENYNO, pmode);
}

FNREAD(FdiRead)
{
    return (UINT)_read((int)hf, pv, cb);
}

FNWRITE(FdiWrite)
{
    return (UINT)_write((int)hf, pv, cb);
}

FNCLOSE(FdiClose)
{
    return _close((int)hf);
}

FNSEEK(FdiSeek)
{
    return _lseek((int)hf, dist, seektype);
}
