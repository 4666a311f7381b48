// Installed control management: query, removal, information, download.
#pragma once

#include <windows.h>

// The actions behind the Uninstall page; owner is the main window.
void QueryAction(HWND owner);
void DoubleClickAction(HWND owner);
void UninstallAllAction(HWND owner);
void RightClickAction(HWND owner, WPARAM clicked, LPARAM position);
void DownloadAction(HWND owner);

int QueryInstalledControls();
int UninstallControl(const wchar_t *progId);
BOOL IsWow64();
