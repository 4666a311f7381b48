// The tool's own folders below C:\OrviActiveX (on the system drive): made
// fresh with a DACL that lets no one but administrators write, and looked at
// before anything in them is trusted. The base folder may have been made by
// anybody, so only what the tool made itself is used.
#pragma once

#include <windows.h>

#include <stddef.h>

// The tool's folder at the root of the system drive, each part followed by
// separator: "C:/OrviActiveX/" or "C:\OrviActiveX\".
int ComposeToolFolder(wchar_t *path, size_t cap, const wchar_t *separator);

// Creates the folder with the protected DACL. 0 when it was not made (it
// exists already, say), with the creation's error left as the last error.
int CreateProtectedFolder(const wchar_t *path);

// 1 when a folder on the way to path, or path itself, is a reparse point
// (a junction or a symbolic link). The drive or share at its start is not
// looked at, and the look ends at the first part that does not exist.
int PathHasReparsePoint(const wchar_t *path);

// 1 when the file or folder behind handle (opened with READ_CONTROL) is
// owned by SYSTEM, the administrators or this process's own user, and its
// DACL lets no one else write, add, delete or change its protection.
int IsProtectedObject(HANDLE handle);
