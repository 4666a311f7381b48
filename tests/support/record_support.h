// Removal records as the tests look at them: the records folder, its
// record folders, the state file's text, and registry trees as text to
// compare before a removal and after its restore.
#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

// C:\OrviActiveX\removals.
std::wstring RecordsFolder();
// The record folders' names, newest first.
std::vector<std::wstring> RecordNames();
// The newest record's folder ("" when there is none).
std::wstring NewestRecord();
// A record's state file as text (UTF-16 without its byte order mark), and
// written back the same way.
std::wstring ReadStateText(const std::wstring &record);
void WriteStateText(const std::wstring &record, const std::wstring &text);
// The record's value of one state line ("progid", "server", "keys"...).
std::wstring StateValue(const std::wstring &record, const std::wstring &name);
// A copy of a record's folder (its files) under another path, in a folder
// made with the tool's protection.
void CopyRecord(const std::wstring &from, const std::wstring &to);
// Removes every record, for a test that counts them.
void RemoveRecords();
// The key at path with its values (name, type and bytes) and subkeys, all
// of it as text; "" when the key is not there. view as for KeyExists.
std::wstring KeyTreeText(HKEY root, const std::wstring &path, REGSAM view = 0);
// Each key of keys (root and path) so, in the process's own view.
std::vector<std::wstring> KeyTreeTexts(const std::vector<std::pair<HKEY, std::wstring>> &keys);
// Runs the platform's reg.exe with arguments and waits; its exit code.
DWORD RunReg(const std::wstring &arguments);
