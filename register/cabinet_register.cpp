// A dropped cabinet: unpacked into a fresh folder, then every control file
// that came out of it is registered, and the report ends with one status line.
#include "register/register.h"

#include "base/ansi_text.h"
#include "base/cabinet_report.h"
#include "base/text.h"
#include "base/windows_shared.h"
#include "register/cabinet.h"

wchar_t g_statusText[kStatusTextSize] = L"拖入文件路径:";

// The report shows "拖入文件路径:", the path, "\r\n新建文件夹:", the folder and
// "\r\n" before unpacking; longer paths are refused so it is never cut.
const size_t kMaxCabinetPath = MaxCabinetPathLength(kStatusTextSize);
// The decompressor joins the cabinet's folder and name in a MAX_PATH buffer
// and wants three bytes to spare; this also keeps the name within the
// extraction's name buffer.
const size_t kMaxDecompressorPath = MAX_PATH - 3;

static const wchar_t kUnconvertible[] = L"ERROR:拖入文件路径含有无法转换的字符！";

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
// that does. Returns the refusal line when neither does, NULL otherwise.
static const wchar_t *ToAnsiPath(const wchar_t *path, char *ansiPath)
{
    if (TextLength(path) > kMaxCabinetPath)
        return kPathTooLong;
    int whole = 0, shortWhole = 0;
    if (ToDecompressorPath(path, ansiPath, &whole))
        return NULL;
    wchar_t shortPath[MAX_PATH] = {};
    DWORD n = GetShortPathNameW(path, shortPath, MAX_PATH);
    if (n >= MAX_PATH)
        return kPathTooLong;
    if (n > 0 && ToDecompressorPath(shortPath, ansiPath, &shortWhole))
        return NULL;
    return whole || shortWhole ? kPathTooLong : kUnconvertible;
}

// Registers every .ocx and .dll of the extraction folder; 1 when at least
// one registration succeeded.
static int RegisterFolder()
{
    wchar_t folder[kFolderTextSize] = {};
    if (!CopyText(folder, kFolderTextSize, (const wchar_t *)g_extractFolderWide))
        return 0;
    // The folder's own path stays as it is; the pattern is composed beside it.
    wchar_t pattern[kExtractFolderWideSize] = {};
    if (!ComposeText(pattern, kExtractFolderWideSize, {(const wchar_t *)folder, L"*.*"}))
        return 0;

    int registered = 0;
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
        if (!HasEnding(listed, L".ocx") && !HasEnding(listed, L".dll"))
            continue;
        // Only what this extraction wrote, never a file someone put beside it.
        if (!WasWrittenByExtraction(found.cFileName))
            continue;
        DWORD exitCode;
        int ok = RegisterControlFileForExit(listed, &exitCode);
        g_cabinetSink->registered(listed, ok, exitCode);
        if (ok == 1)
            registered = 1;
    } while (FindNextFileW(find, &found));
    FindClose(find);
    return registered;
}

int UnpackAndRegisterCabinet(const wchar_t *path)
{
    char ansiPath[kCabinetAnsiPathSize] = {};
    const wchar_t *refusal = ToAnsiPath(path, ansiPath);
    if (refusal)
        return refusal == kPathTooLong ? kCabinetPathTooLong : kCabinetPathUnconvertible;
    if (!ExtractCabinet(path, ansiPath))
        return kCabinetNotUnpacked;

    int registered = RegisterFolder();
    ReleaseExtractFolder();
    const wchar_t *status = registered ? L"注册状态:注册成功！" : L"注册状态:注册失败！";
    EndReport(g_statusText, kStatusTextSize, status);
    return registered ? kCabinetRegistered : kCabinetNotRegistered;
}

void RegisterCabinet(const wchar_t *path)
{
    g_cabinetSink = &kWindowCabinetSink;
    int outcome = UnpackAndRegisterCabinet(path);
    if (outcome == kCabinetPathTooLong || outcome == kCabinetPathUnconvertible) {
        SetWindowTextW(g_infoEdit, outcome == kCabinetPathTooLong ? kPathTooLong : kUnconvertible);
        return;
    }
    if (outcome == kCabinetNotUnpacked)
        return;
    // The status line is only in the buffer yet: the edit still shows the file list.
    int held = HoldPainting(g_infoEdit);
    SendMessageW(g_infoEdit, WM_VSCROLL, SB_BOTTOM, 0);
    SetWindowTextW(g_infoEdit, g_statusText);
    CopyText(g_statusText, kStatusTextSize, L"拖入文件路径:");
    SendMessageW(g_infoEdit, WM_VSCROLL, SB_BOTTOM, 0);
    ReleasePainting(g_infoEdit, held);
    ReleasePainting(g_infoEdit, held);
}
