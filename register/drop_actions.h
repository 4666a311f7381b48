// The window's answer to a drop: the dropped file is registered, handed on
// as a cabinet, or refused, and the report edit says what happened.
#pragma once

#include <windows.h>

#include "base/limits.h"

// Running report of a cabinet drop; "拖入文件路径:" at rest.
extern wchar_t g_statusText[kStatusTextSize];

// The refusal of a dropped path too long to be handled.
extern const wchar_t kPathTooLong[];

// ---- dropped_file.cpp -------------------------------------------------------------
void HandleDroppedFile(HWND window, HDROP drop);

// ---- cabinet_drop.cpp ---------------------------------------------------------------
void RegisterCabinet(const wchar_t *path);
