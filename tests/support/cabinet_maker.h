// Cabinets made at run time with the platform's compressor (FCI of
// cabinet.dll, looked up by name), so no cabinet file is ever committed.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct CabEntry {
    std::string storedName; // bytes as stored in the cabinet (ANSI code page)
    std::string bytes;
    USHORT date = 0x4EB1; // 2019-05-17
    USHORT time = 0x528F; // 10:20:30
    USHORT attributes = 0x20;
};

// Writes the cabinet dir\name holding the entries, MSZIP-compressed or
// stored. Returns 1, or 0 on failure.
int MakeCabinet(const std::wstring &dir, const std::string &name,
                const std::vector<CabEntry> &entries, bool compress = true);
// Writes a set of stored cabinets of at most spanSize bytes each, named by
// partPattern ("part%d.cab") from 1 on. Returns the number of parts, 0 on failure.
int MakeCabinetSet(const std::wstring &dir, const std::string &partPattern,
                   const std::vector<CabEntry> &entries, ULONG spanSize);
// The stored name for wide text in the ANSI code page.
std::string AnsiName(const std::wstring &name);

// Extraction folders: the base at the root of the system drive
// ("C:\OrviActiveX"), one numbered folder in it, and that folder as the
// report spells it ("C:/OrviActiveX/<number>/").
std::wstring SystemDrive();
std::wstring BaseFolder();
std::wstring FolderOf(const std::wstring &number);
std::wstring ReportedFolder(const std::wstring &number);
