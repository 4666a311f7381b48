// Control information: a right click on the list shows the selected control's
// CLSID, server path and, when the browser installed it, its version.
#include "controls/controls.h"

#include "base/windows_shared.h"
#include "base/text.h"

const wchar_t kDistributionUnits[] =
    L"SOFTWARE\\Microsoft\\Code Store DataBase\\Distribution Units\\";
const wchar_t kDistributionUnitsWow[] =
    L"SOFTWARE\\Wow6432Node\\Microsoft\\Code Store DataBase\\Distribution Units\\";

static void ShowError(HWND owner, const wchar_t *text)
{
    MessageBoxW(owner, text, L"ERROR", MB_OK);
}

int ComposeUnitPath(wchar_t *path, int cap, BOOL wow64, const wchar_t *clsid, const wchar_t *subkey)
{
    return ComposeText<wchar_t>(
        path, cap, {wow64 ? kDistributionUnitsWow : kDistributionUnits, clsid, subkey});
}

int ReadClsid(const wchar_t *progId, wchar_t *clsid, int cap)
{
    wchar_t path[kKeyPathChars] = {};
    HKEY key;
    clsid[0] = 0;
    // A name too long for any registry key cannot name an existing one.
    if (!ComposeText<wchar_t>(path, kKeyPathChars, {progId, L"\\CLSID"}) ||
        RegOpenKeyExW(HKEY_CLASSES_ROOT, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return kInfoKeyNotOpened;
    int ok = ReadValueText(key, NULL, clsid, cap);
    RegCloseKey(key);
    return ok ? kInfoRead : kInfoValueNotRead;
}

static void ShowInfoError(HWND owner, int result)
{
    ShowError(owner,
              result == kInfoKeyNotOpened ? L"RegOpenKeyEx失败！" : L"RegQueryValueEx失败！");
}

int LookUpClsid(HWND owner, const wchar_t *progId, wchar_t *clsid, int cap)
{
    int result = ReadClsid(progId, clsid, cap);
    if (result != kInfoRead) {
        ShowInfoError(owner, result);
        return 0;
    }
    return 1;
}

// The version recorded for clsid; 0 when there is none or it cannot be read.
static BOOL ReadInstalledVersion(BOOL wow64, const wchar_t *clsid, wchar_t *version)
{
    wchar_t path[kKeyPathChars] = {};
    HKEY key;
    version[0] = 0;
    if (!ComposeUnitPath(path, kKeyPathChars, wow64, clsid, L"\\InstalledVersion"))
        return 0;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return 0;
    int ok = ReadValueText(key, NULL, version, kValueChars);
    RegCloseKey(key);
    return ok;
}

int ReadControlInfo(const wchar_t *progId, ControlInfo *info)
{
    wchar_t path[kKeyPathChars] = {};
    HKEY key;
    info->serverPath[0] = 0;
    info->version[0] = 0;
    info->hasVersion = 0;
    int result = ReadClsid(progId, info->clsid, kValueChars);
    if (result != kInfoRead)
        return result;
    // One answer chooses the view of both the server and the version keys.
    info->wow64 = IsWow64();
    if (!ComposeText<wchar_t>(path, kKeyPathChars,
                              {info->wow64 ? L"Wow6432Node\\CLSID\\" : L"CLSID\\", info->clsid,
                               L"\\InprocServer32"}) ||
        RegOpenKeyExW(HKEY_CLASSES_ROOT, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return kInfoKeyNotOpened;
    int ok = ReadValueText(key, NULL, info->serverPath, kValueChars);
    RegCloseKey(key);
    if (!ok)
        return kInfoValueNotRead;
    info->hasVersion = ReadInstalledVersion(info->wow64, info->clsid, info->version);
    return kInfoRead;
}

void ShowControlInfo(HWND owner, const wchar_t *progId)
{
    ControlInfo read = {};
    wchar_t info[kInfoTextChars] = {};

    int result = ReadControlInfo(progId, &read);
    if (result != kInfoRead) {
        ShowInfoError(owner, result);
        return;
    }
    if (!ComposeText<wchar_t>(info, kInfoTextChars,
                              {L"CLSID：", read.clsid, L"\r\nPATH：", read.serverPath})) {
        ShowError(owner, L"RegQueryValueEx失败！");
        return;
    }
    if (read.hasVersion) {
        // The buffer holds the longest pieces; should it not, the line is left out.
        wchar_t line[kVersionLineChars] = {};
        if (ComposeText<wchar_t>(line, kVersionLineChars, {L"\nVERSION：", read.version}))
            AppendText(info, kInfoTextChars, (const wchar_t *)line);
    }
    MessageBoxW(owner, info, L"OrviInfo", MB_OK);
}

void RightClickAction(HWND owner, WPARAM clicked, LPARAM position)
{
    // Keyboard requests (-1) and clicks at screen x or y -1 are ignored.
    if ((HWND)clicked != g_controlList || LOWORD(position) == 0xFFFF || HIWORD(position) == 0xFFFF)
        return;
    wchar_t progId[kSelectedEntrySize] = {};
    // The selection decides, not the entry under the pointer.
    GetSelectedEntryText(progId, kSelectedEntrySize);
    if (progId[0])
        ShowControlInfo(owner, progId);
}
