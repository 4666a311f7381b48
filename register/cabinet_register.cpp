// A dropped cabinet: unpacked into a fresh folder, then every control file
// that came out of it is registered, and the report ends with one status line.
#include "register/register.h"

#include "app/app.h"
#include "app/text.h"
#include "register/cabinet.h"

wchar_t g_statusText[kStatusTextSize] = L"拖入文件路径:";

const int kAnsiPathSize = 1000;
const int kFolderTextSize = 200;
const int kListedPathSize = 400;
const int kCabinetNameSize = 500;
// The report shows "拖入文件路径:", the path, "\r\n新建文件夹:", the folder and
// "\r\n" before unpacking; longer paths are refused so it is never cut.
const size_t kMaxCabinetPath = MaxCabinetPathLength(kStatusTextSize);

static const wchar_t kTooLong[] = L"ERROR:拖入文件路径过长！";

// The ANSI form of the path for the decompressor; 0 when it, or the
// cabinet's name after the last backslash, does not fit.
static int ToAnsiPath(const wchar_t *path, char *ansiPath)
{
    if (TextLength(path) > kMaxCabinetPath)
        return 0;
    if (!WideCharToMultiByte(CP_ACP, 0, path, -1, ansiPath, kAnsiPathSize, NULL, NULL))
        return 0;
    const char *name = ansiPath;
    for (const char *p = ansiPath; *p; p++) {
        if (*p == '\\')
            name = p + 1;
    }
    return TextLength(name) < (size_t)kCabinetNameSize;
}

// Registers every .ocx and .dll of the extraction folder; 1 when at least
// one registration succeeded.
static int RegisterFolder()
{
    wchar_t folder[kFolderTextSize] = {};
    if (!CopyText(folder, kFolderTextSize, (const wchar_t *)g_extractFolderWide))
        return 0;
    if (!AppendText(g_extractFolderWide, kExtractFolderWideSize, L"*.*"))
        return 0;

    int registered = 0;
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW(g_extractFolderWide, &found);
    if (find == INVALID_HANDLE_VALUE)
        return 0;
    do {
        // An equality test: the folder's own entries carry exactly this flag.
        if (found.dwFileAttributes == FILE_ATTRIBUTE_DIRECTORY)
            continue;
        wchar_t listed[kListedPathSize] = {};
        // A path that does not fit is skipped, never registered cut.
        if (!ComposeText(listed, kListedPathSize, {(const wchar_t *)folder, (const wchar_t *)found.cFileName}))
            continue;
        if (!HasEnding(listed, L".ocx") && !HasEnding(listed, L".dll"))
            continue;
        if (RegisterControlFile(listed) == 1)
            registered = 1;
    } while (FindNextFileW(find, &found));
    FindClose(find);
    return registered;
}

void RegisterCabinet(const wchar_t *path)
{
    char ansiPath[kAnsiPathSize] = {};
    if (!ToAnsiPath(path, ansiPath)) {
        SetWindowTextW(g_infoEdit, kTooLong);
        return;
    }
    if (!ExtractCabinet(path, ansiPath))
        return;

    int registered = RegisterFolder();
    int held = HoldPainting(g_infoEdit);
    SendMessageW(g_infoEdit, WM_VSCROLL, SB_BOTTOM, 0);

    const wchar_t *status = registered ? L"注册状态:注册成功！" : L"注册状态:注册失败！";
    EndReport(g_statusText, kStatusTextSize, status);
    SetWindowTextW(g_infoEdit, g_statusText);
    CopyText(g_statusText, kStatusTextSize, L"拖入文件路径:");
    SendMessageW(g_infoEdit, WM_VSCROLL, SB_BOTTOM, 0);
    ReleasePainting(g_infoEdit, held);
}
