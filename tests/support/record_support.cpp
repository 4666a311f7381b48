// Removal records and registry trees as text, for the removal and orvictl tests.
#include "support/record_support.h"

#include "support/cabinet_maker.h"
#include "support/test_support.h"

#include "register/register.h"

#include <algorithm>

std::wstring RecordsFolder()
{
    return BaseFolder() + L"\\removals";
}

std::vector<std::wstring> RecordNames()
{
    std::vector<std::wstring> names;
    for (const std::wstring &name : NamesIn(RecordsFolder())) {
        if (name.size() == 15 && name.find_first_not_of(L"0123456789") == std::wstring::npos)
            names.push_back(name);
    }
    std::sort(names.rbegin(), names.rend());
    return names;
}

std::wstring NewestRecord()
{
    std::vector<std::wstring> names = RecordNames();
    return names.empty() ? L"" : RecordsFolder() + L"\\" + names[0];
}

std::wstring ReadStateText(const std::wstring &record)
{
    std::string bytes = ReadFileBytes(record + L"\\state.txt");
    if (bytes.size() < 2)
        return L"";
    return std::wstring((const wchar_t *)(bytes.data() + 2), (bytes.size() - 2) / 2);
}

void WriteStateText(const std::wstring &record, const std::wstring &text)
{
    std::string bytes("\xFF\xFE", 2);
    bytes.append((const char *)text.data(), text.size() * sizeof(wchar_t));
    WriteFileBytes(record + L"\\state.txt", bytes);
}

std::wstring StateValue(const std::wstring &record, const std::wstring &name)
{
    std::wstring text = L"\r\n" + ReadStateText(record);
    size_t at = text.find(L"\r\n" + name + L"=");
    if (at == std::wstring::npos)
        return L"";
    at += name.size() + 3;
    return text.substr(at, text.find(L"\r\n", at) - at);
}

void CopyRecord(const std::wstring &from, const std::wstring &to)
{
    // Made as the tool makes a record's folder: a folder others may write to
    // is no record of the tool's.
    EXPECT_TRUE(CreateProtectedFolder(to.c_str())) << std::string(to.begin(), to.end());
    for (const std::wstring &name : NamesIn(from))
        CopyFileW((from + L"\\" + name).c_str(), (to + L"\\" + name).c_str(), FALSE);
}

void RemoveRecords()
{
    for (const std::wstring &name : RecordNames())
        RemoveTree(RecordsFolder() + L"\\" + name);
}

static void AppendTree(HKEY key, const std::wstring &path, REGSAM view, std::wstring &text)
{
    text += L"[" + path + L"]\n";
    std::vector<wchar_t> name(16384);
    std::vector<BYTE> data(1 << 20);
    for (DWORD i = 0;; i++) {
        DWORD nameSize = (DWORD)name.size(), dataSize = (DWORD)data.size(), type = 0;
        if (RegEnumValueW(key, i, name.data(), &nameSize, NULL, &type, data.data(), &dataSize) !=
            ERROR_SUCCESS)
            break;
        wchar_t hex[4];
        text += std::wstring(name.data(), nameSize) + L"=" + std::to_wstring(type) + L":";
        for (DWORD b = 0; b < dataSize; b++) {
            swprintf(hex, 4, L"%02x", data[b]);
            text += hex;
        }
        text += L"\n";
    }
    for (DWORD i = 0;; i++) {
        wchar_t subkey[256];
        DWORD size = 256;
        if (RegEnumKeyExW(key, i, subkey, &size, NULL, NULL, NULL, NULL) != ERROR_SUCCESS)
            break;
        HKEY child;
        if (RegOpenKeyExW(key, subkey, 0, KEY_READ | view, &child) != ERROR_SUCCESS)
            continue;
        AppendTree(child, path + L"\\" + subkey, view, text);
        RegCloseKey(child);
    }
}

std::wstring KeyTreeText(HKEY root, const std::wstring &path, REGSAM view)
{
    HKEY key;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS)
        return L"";
    std::wstring text;
    AppendTree(key, path, view, text);
    RegCloseKey(key);
    return text;
}

DWORD RunReg(const std::wstring &arguments)
{
    wchar_t system[MAX_PATH] = {};
    GetSystemDirectoryW(system, MAX_PATH);
    std::wstring program = std::wstring(system) + L"\\reg.exe";
    std::wstring line = L"\"" + program + L"\" " + arguments;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(program.c_str(), &line[0], NULL, NULL, FALSE, CREATE_NO_WINDOW, NULL, NULL,
                        &startup, &process))
        return (DWORD)-1;
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = (DWORD)-1;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return code;
}

std::vector<std::wstring> KeyTreeTexts(const std::vector<std::pair<HKEY, std::wstring>> &keys)
{
    std::vector<std::wstring> texts;
    for (const std::pair<HKEY, std::wstring> &k : keys)
        texts.push_back(KeyTreeText(k.first, k.second));
    return texts;
}
