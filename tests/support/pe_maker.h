// DLL images made at run time for the failure reasons: a header of any
// machine and format, a short optional header, imports of any names, many
// section headers before or after the imports, an import directory that
// runs to the end of the file or names fewer entries than it holds.
// No program is committed as a binary.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct PeLayout {
    WORD machine = 0;      // 0: this process's
    WORD magic = 0;        // 0: this process's format (PE32 or PE32+)
    WORD optionalSize = 0; // 0: the full optional header
    std::vector<std::string> imports;
    DWORD extraSections = 0;  // empty section headers after the one holding the imports
    DWORD sectionsBefore = 0; // empty section headers before it
    DWORD directorySize = 0;  // above 0: the size the import directory entry gives
    // Above 0: the import directory runs to the end of a file of this many
    // bytes, every entry naming imports[0] (kernel32.dll when none), with no
    // empty entry to end it.
    size_t fileSize = 0;
};

// The bytes of a DLL as layout says; it exports nothing, and each import asks
// for a function no DLL has, so loading it fails.
std::string MakePeDll(const PeLayout &layout);
// bytes with the first occurrence of from replaced by to (of the same length).
std::string ReplaceBytes(std::string bytes, const std::string &from, const std::string &to);
