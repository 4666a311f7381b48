// A file held open by another process: a suspended child gets a duplicate of
// the test's handle, so the lock belongs to the child alone.
#include "support/test_support.h"

HANDLE HoldFileInChild(const std::wstring &path, DWORD share)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, share, NULL, OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return NULL;
    wchar_t program[MAX_PATH] = {};
    GetSystemDirectoryW(program, MAX_PATH);
    lstrcatW(program, L"\\cmd.exe");
    wchar_t commandLine[] = L"cmd.exe /c exit";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION child = {};
    if (!CreateProcessW(program, commandLine, NULL, NULL, FALSE,
                        CREATE_SUSPENDED | CREATE_NO_WINDOW, NULL, NULL, &startup, &child)) {
        CloseHandle(file);
        return NULL;
    }
    CloseHandle(child.hThread);
    HANDLE inChild = NULL;
    BOOL moved = DuplicateHandle(GetCurrentProcess(), file, child.hProcess, &inChild, 0, FALSE,
                                 DUPLICATE_SAME_ACCESS | DUPLICATE_CLOSE_SOURCE);
    if (!moved) {
        CloseHandle(file);
        TerminateProcess(child.hProcess, 1);
        CloseHandle(child.hProcess);
        return NULL;
    }
    return child.hProcess;
}

void ReleaseHeldFile(HANDLE child)
{
    if (!child)
        return;
    TerminateProcess(child, 0);
    WaitForSingleObject(child, 5000);
    CloseHandle(child);
}
