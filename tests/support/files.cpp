// Files, folders and the test COM server.
#include "support/test_support.h"

#include <sddl.h>

#include <algorithm>

std::wstring TestProgramDir()
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(NULL, path, MAX_PATH);
    std::wstring dir = path;
    return dir.substr(0, dir.find_last_of(L"\\/"));
}

std::wstring TestServerPath()
{
    return TestProgramDir() + L"\\testctl.dll";
}

REGSAM OtherViewFlag()
{
    return sizeof(void *) == 8 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
}

std::wstring OtherBuildTestServerPath()
{
    std::wstring relative =
        TestProgramDir() + (sizeof(void *) == 8 ? L"\\..\\..\\i686\\bin\\testctl.dll"
                                                : L"\\..\\..\\x86_64\\bin\\testctl.dll");
    wchar_t full[MAX_PATH] = {};
    return GetFullPathNameW(relative.c_str(), MAX_PATH, full, NULL) ? full : relative;
}

static void RemoveFolderContents(const std::wstring &dir)
{
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((dir + L"\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE)
        return;
    do {
        std::wstring name = found.cFileName;
        if (name == L"." || name == L"..")
            continue;
        std::wstring full = dir + L"\\" + name;
        SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            RemoveFolderContents(full);
            RemoveDirectoryW(full.c_str());
        } else {
            DeleteFileW(full.c_str());
        }
    } while (FindNextFileW(find, &found));
    FindClose(find);
}

std::wstring MakeScratchDir(const std::wstring &name)
{
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    std::wstring dir = std::wstring(temp) + L"orvi-tests";
    CreateDirectoryW(dir.c_str(), NULL);
    dir += L"\\" + name;
    CreateDirectoryW(dir.c_str(), NULL);
    RemoveFolderContents(dir);
    return dir;
}

bool FileExists(const std::wstring &path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::vector<std::wstring> NamesIn(const std::wstring &dir)
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((dir + L"\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE)
        return names;
    do {
        std::wstring name = found.cFileName;
        if (name != L"." && name != L"..")
            names.push_back(name);
    } while (FindNextFileW(find, &found));
    FindClose(find);
    std::sort(names.begin(), names.end());
    return names;
}

void RemoveTree(const std::wstring &dir)
{
    RemoveFolderContents(dir);
    RemoveDirectoryW(dir.c_str());
}

std::string ReadFileBytes(const std::wstring &path)
{
    std::string bytes;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                              OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return bytes;
    char buffer[4096];
    DWORD got;
    while (ReadFile(file, buffer, sizeof(buffer), &got, NULL) && got > 0)
        bytes.append(buffer, got);
    CloseHandle(file);
    return bytes;
}

void WriteFileBytes(const std::wstring &path, const std::string &bytes)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written;
    WriteFile(file, bytes.data(), (DWORD)bytes.size(), &written, NULL);
    CloseHandle(file);
}

void SetEnv(const wchar_t *name, const wchar_t *value)
{
    SetEnvironmentVariableW(name, value);
}

HANDLE FreshHandle()
{
    // Wine's profile functions open the IniFileMapping key on first need and
    // keep it for the life of the process; the shell needs it at some
    // ShellExecuteExW and not others. Opened here first, it is never taken
    // for a leak of the code under test.
    wchar_t unused[8];
    GetProfileStringW(L"windows", L"programs", L"", unused, 8);
    HANDLE event = CreateEventW(NULL, FALSE, FALSE, NULL);
    CloseHandle(event);
    return event;
}

std::wstring RegisteredTestServer()
{
    return ReadStringValue(HKEY_CLASSES_ROOT,
                           std::wstring(L"CLSID\\") + kTestServerClsid + L"\\InprocServer32");
}

std::vector<std::wstring> ReadServerLog(const std::wstring &path)
{
    std::string bytes = ReadFileBytes(path);
    std::vector<std::wstring> lines;
    size_t start = 0;
    while (start < bytes.size()) {
        size_t end = bytes.find('\n', start);
        if (end == std::string::npos)
            end = bytes.size();
        std::string line = bytes.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        int n = MultiByteToWideChar(CP_UTF8, 0, line.data(), (int)line.size(), NULL, 0);
        std::wstring wide(n, L'\0');
        MultiByteToWideChar(CP_UTF8, 0, line.data(), (int)line.size(), &wide[0], n);
        lines.push_back(wide);
        start = end + 1;
    }
    return lines;
}

int LoadSize(int full)
{
    wchar_t sizes[16] = {};
    GetEnvironmentVariableW(L"ORVI_LOAD_SIZES", sizes, 16);
    return lstrcmpW(sizes, L"reduced") == 0 ? full / 10 : full;
}

void SetFolderDacl(const std::wstring &folder, const wchar_t *sddl)
{
    PSECURITY_DESCRIPTOR descriptor = NULL;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1,
                                                                     &descriptor, NULL));
    EXPECT_TRUE(SetFileSecurityW(folder.c_str(), DACL_SECURITY_INFORMATION, descriptor));
    LocalFree(descriptor);
}
