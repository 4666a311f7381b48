// The Uninstall page's actions: they fill the list, ask and tell in message
// boxes owned by the main window (owner), over the engine's calls.
#pragma once

#include <windows.h>

// The caption of the actions' notices and questions.
const wchar_t kNoticeCaption[] = L"提示";
// An action that needs the list filled first.
const wchar_t kQueryFirst[] = L"请点击查询安装按钮！";

// ---- query_action.cpp ---------------------------------------------------------------
// Fills the list with the family's installed controls; returns their number.
int QueryInstalledControls();
void QueryAction(HWND owner);

// ---- uninstall_actions.cpp ------------------------------------------------------------
void DoubleClickAction(HWND owner);
void UninstallAllAction(HWND owner);

// ---- info_action.cpp --------------------------------------------------------------------
// Yields the default value of the ProgID's "CLSID" subkey in clsid (cap at
// least kValueChars); otherwise shows the error box and returns 0.
int LookUpClsid(HWND owner, const wchar_t *progId, wchar_t *clsid, int cap);
void ShowControlInfo(HWND owner, const wchar_t *progId);
void RightClickAction(HWND owner, WPARAM clicked, LPARAM position);

// ---- download_action.cpp ------------------------------------------------------------------
void OpenDownloadLocation(const wchar_t *progId, HWND owner);
void DownloadAction(HWND owner);
