// The tool's own folders below C:\OrviActiveX (on the system drive): made
// fresh with a DACL that lets no one but administrators write, and looked at
// before anything in them is trusted. The base folder may have been made by
// anybody: it is used only as HoldBaseFolder leaves it.
#pragma once

#include <windows.h>

#include <stddef.h>

// The tool's folder at the root of the system drive, each part followed by
// separator: "C:/OrviActiveX/" or "C:\OrviActiveX\".
int ComposeToolFolder(wchar_t *path, size_t cap, const wchar_t *separator);

// The base folder, held open as itself without delete sharing, so it can be
// neither renamed nor deleted while held: made with the protected DACL when
// missing. One that exists is used only when it is a folder and no reparse
// point, owned by SYSTEM, the administrators or this process's user; it then
// gets the tool's owner (the administrators) and protected DACL, through the
// same handle, unless it keeps others out already. Earlier versions made it
// with the default security, under which it inherits the root's grants, and
// the controls of their cabinets live in it. INVALID_HANDLE_VALUE when it
// cannot be used so; the caller closes the handle.
HANDLE HoldBaseFolder();

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
