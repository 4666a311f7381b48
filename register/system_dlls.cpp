// The elevated process loads code from the system folder only. A DLL that is
// not one of the system's known DLLs is otherwise taken from the program's
// own folder first, wherever the program was unpacked.
#include "register/register.h"

typedef BOOL(WINAPI *SetDefaultDllDirectoriesFn)(DWORD);

void LoadDllsFromSystemFolderOnly()
{
    // Looked up: a Windows 7 without its loader update lacks it, and then
    // the process goes on with the platform's search order.
    HMODULE kernel32 = GetModuleHandleW(L"kernel32.dll");
    SetDefaultDllDirectoriesFn restrict =
        kernel32 ? (SetDefaultDllDirectoriesFn)(void *)GetProcAddress(kernel32,
                                                                      "SetDefaultDllDirectories")
                 : NULL;
    if (restrict)
        restrict(LOAD_LIBRARY_SEARCH_SYSTEM32);
}
