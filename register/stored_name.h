// Decides whether a file name stored in a cabinet may be written into the
// extraction folder. Free of the Windows headers so it can be checked natively.
#pragma once

// 1 when name is one plain file name that stays inside the folder it is
// joined to: no folder part (slash or backslash anywhere), no drive or stream
// (colon), not "." or ".." or made of dots and spaces only, no control or
// wildcard characters, and no device name (CON, NUL, COM1, ...). 0 otherwise.
// Works on the bytes of the ANSI name; a double-byte character whose second
// byte looks like a backslash is refused too, which errs on the safe side.
int IsPlainStoredName(const char *name);
