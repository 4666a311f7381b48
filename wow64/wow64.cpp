// Built as an object of its own: the programs link it, the test programs
// link their double of IsWow64 in its place.
#include "controls/controls.h"

typedef BOOL(WINAPI *IsWow64ProcessFn)(HANDLE, PBOOL);

// Looked up at every call; 0 where the platform has no IsWow64Process.
BOOL IsWow64()
{
    BOOL wow64 = FALSE;
    HMODULE kernel32 = GetModuleHandleW(L"kernel32");
    if (!kernel32)
        return FALSE;
    IsWow64ProcessFn isWow64Process =
        (IsWow64ProcessFn)(void *)GetProcAddress(kernel32, "IsWow64Process");
    if (!isWow64Process)
        return FALSE;
    isWow64Process(GetCurrentProcess(), &wow64);
    return wow64;
}
