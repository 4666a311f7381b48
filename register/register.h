// Control file registration: dropped files, the registrar runner and cabinets.
#pragma once

#include <windows.h>

const int kStatusTextSize = 1000;

// Running report of a cabinet drop; "拖入文件路径:" at rest.
extern wchar_t g_statusText[kStatusTextSize];

void HandleDroppedFile(HWND window, HDROP drop);

int RegisterControlFile(const wchar_t *path);
int UnregisterControlFile(const wchar_t *path);
int RunAndWait(const wchar_t *program, const wchar_t *parameters);

void RegisterCabinet(const wchar_t *path);
