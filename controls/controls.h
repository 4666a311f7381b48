// Installed control management: query, removal, information, download.
#pragma once

#include <windows.h>

#include "base/limits.h"

// The actions behind the Uninstall page; owner is the main window.
void QueryAction(HWND owner);
void DoubleClickAction(HWND owner);
void UninstallAllAction(HWND owner);
void RightClickAction(HWND owner, WPARAM clicked, LPARAM position);
void DownloadAction(HWND owner);

int QueryInstalledControls();
// Calls found with every installed control of the family, in registry order;
// returns their number. The query fills the list with it.
int EnumerateInstalledControls(void (*found)(const wchar_t *progId, void *context), void *context);
int UninstallControl(const wchar_t *progId);

// Deletes the key at path below root with all its subkeys, depth first.
// Nonzero when the key is gone, 0 when it is not.
int DeleteKeyTree(HKEY root, const wchar_t *path);

// Default value of the key at path below HKEY_CLASSES_ROOT, written into
// value (kDefaultValueSize characters); empty when it cannot be read in full.
// Returns its length.
int ReadDefaultValue(const wchar_t *path, wchar_t *value);

// One pass of the generic removal: deletes every subkey of the key rootName
// below HKEY_CLASSES_ROOT whose GUID text matches reference from its 11th
// character on (reference adjusted for progId's letter case first).
void DeleteMatchingSubkeys(const wchar_t *progId, const wchar_t *reference,
                           const wchar_t *rootName);

// The three controls that are removed by a fixed key list.
enum FixedKeyList {
    kUploaderKeys = 1,   // "Orvi.LargeFileUploader"
    kSealServerKeys = 2, // "ORVI.SealServerCtrlMem"
    kDocumentKeys = 3,   // "PDF.OrviDocument" together with "TIF.OrviDocument"
};
void RemoveFixedKeys(int list);
BOOL IsWow64();

void ShowControlInfo(HWND owner, const wchar_t *progId);

// What the information box shows, read without showing anything.
struct ControlInfo {
    wchar_t clsid[kValueChars];
    wchar_t serverPath[kValueChars];
    wchar_t version[kValueChars];
    BOOL hasVersion; // 0 when none is recorded or readable
    BOOL wow64;      // the view read: 32-bit on 64-bit Windows
};
// Results of ReadControlInfo and ReadClsid: which read failed, if any.
enum ControlInfoResult {
    kInfoRead = 0,
    kInfoKeyNotOpened = 1, // "RegOpenKeyEx失败！"
    kInfoValueNotRead = 2, // "RegQueryValueEx失败！"
};
int ReadControlInfo(const wchar_t *progId, ControlInfo *info);
int ReadClsid(const wchar_t *progId, wchar_t *clsid, int cap);
// The recorded download address of clsid in the chosen view; 0 when none.
int ReadDownloadAddress(BOOL wow64, const wchar_t *clsid, wchar_t *address, int cap);
void OpenDownloadLocation(const wchar_t *progId, HWND owner);
// Yields the default value of the ProgID's "CLSID" subkey in clsid (cap at
// least kValueChars); otherwise shows the error box and returns 0.
int LookUpClsid(HWND owner, const wchar_t *progId, wchar_t *clsid, int cap);
// Reads value name (NULL: the default) of key as a terminated text; 0 when it
// is missing or longer than kValueChars - 1 characters.
int ReadValueText(HKEY key, const wchar_t *name, wchar_t *text, int cap);
// The server path of clsid as stored (not expanded), read into serverPath
// (kServerPathSize characters); empty when the class has none or it cannot
// be read in full.
void ReadServerPath(const wchar_t *clsid, wchar_t *serverPath);
// The path of subkey (with its leading backslash) of the control's
// Distribution Units record below HKEY_LOCAL_MACHINE, in the chosen view.
int ComposeUnitPath(wchar_t *path, int cap, BOOL wow64, const wchar_t *clsid,
                    const wchar_t *subkey);
