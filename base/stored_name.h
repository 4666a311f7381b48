// Decides whether a file name stored in a cabinet may be written into the
// extraction folder. Free of the Windows headers so it can be checked natively.
#pragma once

// 1 when name is one plain file name that stays inside the folder it is
// joined to: no folder part (slash or backslash anywhere), no drive or stream
// (colon), not "." or ".." or made of dots and spaces only, no control or
// wildcard characters, and no device name (CON, NUL, COM1, ...). 0 otherwise.
// Works on the characters of the ANSI name: isLeadByte tells which bytes
// begin a double-byte character of its code page, so a second byte that
// looks like a backslash or a bar (0x5C, 0x7C, as in code page 936) is part
// of its character, not a separator.
int IsPlainStoredName(const char *name, int (*isLeadByte)(unsigned char byte));

// 1 when name, as the file system sees it in Unicode, is a device name: those
// IsPlainStoredName refuses and COM¹-COM³, LPT¹-LPT³ (superscript digits),
// whose bytes differ from one ANSI code page to the next (B9 B2 B3 in 1252,
// double-byte in 949, none at all in 936), so only the Unicode name shows them.
int IsDeviceStoredName(const wchar_t *name);
