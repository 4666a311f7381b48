// What the registry records of a control: its CLSID, server path and, when
// the browser installed it, its version.
#include "controls/controls.h"

#include "base/text.h"

const wchar_t kDistributionUnits[] =
    L"SOFTWARE\\Microsoft\\Code Store DataBase\\Distribution Units\\";
const wchar_t kDistributionUnitsWow[] =
    L"SOFTWARE\\Wow6432Node\\Microsoft\\Code Store DataBase\\Distribution Units\\";

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

// Clears what the readers below fill, reads the CLSID and takes the view.
static int ReadClassAndView(const wchar_t *progId, ControlInfo *info)
{
    info->serverPath[0] = 0;
    info->otherServerPath[0] = 0;
    info->version[0] = 0;
    info->hasVersion = 0;
    info->hasServer = 0;
    info->otherView = 0;
    int result = ReadClsid(progId, info->clsid, kValueChars);
    // One answer chooses the view of both the server and the version keys.
    if (result == kInfoRead)
        info->wow64 = IsWow64();
    return result;
}

// The other view's server as the box shows it (at most kValueChars - 1
// characters, as the own view's).
static void ReadOtherServer(ControlInfo *info)
{
    wchar_t path[kKeyPathChars] = {};
    HKEY key;
    int view = OtherView(ColumnView());
    info->otherView = 0;
    info->otherServerPath[0] = 0;
    if (!view || !ComposeText<wchar_t>(path, kKeyPathChars,
                                       {kClassKeys, info->clsid, L"\\InprocServer32"}) ||
        OpenClassesKey(path, ViewAccess(view), &key) != ERROR_SUCCESS)
        return;
    if (ReadValueText(key, NULL, info->otherServerPath, kValueChars))
        info->otherView = view;
    RegCloseKey(key);
}

int ReadControlInfo(const wchar_t *progId, ControlInfo *info)
{
    wchar_t path[kKeyPathChars] = {};
    HKEY key;
    int result = ReadClassAndView(progId, info);
    if (result != kInfoRead)
        return result;
    if (!ComposeText<wchar_t>(
            path, kKeyPathChars,
            {info->wow64 ? kClassKeysWow : kClassKeys, info->clsid, L"\\InprocServer32"}) ||
        RegOpenKeyExW(HKEY_CLASSES_ROOT, path, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        result = kInfoKeyNotOpened;
    } else {
        info->hasServer = ReadValueText(key, NULL, info->serverPath, kValueChars);
        RegCloseKey(key);
        result = info->hasServer ? kInfoRead : kInfoValueNotRead;
    }
    if (info->hasServer)
        info->hasVersion = ReadInstalledVersion(info->wow64, info->clsid, info->version);
    // The other view's server is shown beside; where the own view has no
    // server key, it alone makes the box.
    ReadOtherServer(info);
    return info->otherView && result == kInfoKeyNotOpened ? kInfoRead : result;
}

DWORD ReadControlRecord(const wchar_t *progId, ControlInfo *info, wchar_t *serverPath)
{
    serverPath[0] = 0;
    if (ReadClassAndView(progId, info) != kInfoRead)
        return 0;
    DWORD type = ReadWholeServerPath(info->wow64, 0, info->clsid, serverPath);
    if (type)
        info->hasVersion = ReadInstalledVersion(info->wow64, info->clsid, info->version);
    return type;
}

DWORD ReadOtherViewServerPath(const wchar_t *clsid, wchar_t *serverPath)
{
    int view = OtherView(ColumnView());
    serverPath[0] = 0;
    if (!view || !clsid[0])
        return 0;
    return ReadWholeServerPath(FALSE, ViewAccess(view), clsid, serverPath);
}
