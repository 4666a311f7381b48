// The main window's children and page mode, which the shell creates and owns
// and the registration and removal actions only send messages to or read.
// Defined by the shell.
#pragma once

#include <windows.h>

// Page mode: 1 is the Register page; any other value paints the Uninstall page.
extern int g_page;

extern HWND g_pathEdit;
extern HWND g_infoEdit;
extern HWND g_controlList;
extern HWND g_queryButton;
extern HWND g_uninstallAllButton;
extern HWND g_downloadButton;

// Reads the selected list entry into text (capacity cap characters). An entry
// that does not fit is skipped, not cut: text stays empty. Returns the length.
int GetSelectedEntryText(wchar_t *text, int cap);

// Reads list entry index the same way; returns its length, 0 when skipped.
int GetListEntryText(int index, wchar_t *text, int cap);
