// Runs the platform's registration tool, regsvr32.exe from the system
// directory, hidden and silent, and waits until it has ended.
#include "register/register.h"

#include "base/text.h"

// Program path of regsvr32.exe; 0 when the system directory does not fit.
static int GetRegistrarPath(wchar_t *program, size_t cap)
{
    wchar_t systemDir[MAX_PATH] = {};
    UINT n = GetSystemDirectoryW(systemDir, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return 0;
    return ComposeText(program, cap, {systemDir, L"\\regsvr32.exe"});
}

// Starts program hidden and waits for it without a time limit. Returns 1 when
// it was started and has ended, with its exit code in exitCode; 0 when it
// cannot be started. The program is started as itself, not through the
// shell: the shell would look up how to open an .exe in the classes, which
// the user's own keys (HKEY_CURRENT_USER) override, and this process runs
// elevated. Its working folder is the system folder, never the folder the
// tool was started from, where a DLL the control needs could be planted.
int RunAndWaitForExit(const wchar_t *program, const wchar_t *parameters, DWORD *exitCode)
{
    wchar_t command[kRegistrarCommandSize] = {};
    wchar_t folder[MAX_PATH] = {};
    STARTUPINFOW startup = {};
    PROCESS_INFORMATION process = {};
    *exitCode = (DWORD)-1;
    UINT n = GetSystemDirectoryW(folder, MAX_PATH);
    if (n == 0 || n >= MAX_PATH ||
        !ComposeText(command, kRegistrarCommandSize, {L"\"", program, L"\"", parameters}))
        return 0;
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    if (!CreateProcessW(program, command, NULL, NULL, FALSE, 0, NULL, folder, &startup, &process))
        return 0;
    CloseHandle(process.hThread);
    WaitForSingleObject(process.hProcess, INFINITE);
    if (!GetExitCodeProcess(process.hProcess, exitCode))
        *exitCode = (DWORD)-1;
    CloseHandle(process.hProcess);
    return 1;
}

int RunAndWait(const wchar_t *program, const wchar_t *parameters)
{
    DWORD exitCode;
    return RunAndWaitForExit(program, parameters, &exitCode);
}

// No Windows file name holds a double quote: one in a path would close the
// quoted argument and hand the registrar arguments of its own.
static int HoldsQuote(const wchar_t *path)
{
    return HoldsCharacter(path, L'"');
}

static int Unregister(const wchar_t *program, const wchar_t *path)
{
    wchar_t parameters[kUnregisterParametersSize] = {};
    if (HoldsQuote(path))
        return 0;
    // A path that does not fit is refused before anything is started.
    if (!ComposeText(parameters, kUnregisterParametersSize, {L" /u /s \"", path, L"\""}))
        return 0;
    return RunAndWait(program, parameters);
}

int UnregisterControlFile(const wchar_t *path)
{
    wchar_t program[MAX_PATH] = {};
    if (!GetRegistrarPath(program, MAX_PATH))
        return 0;
    return Unregister(program, path);
}

// The other bitness's registrar: the 32-bit one in the 32-bit system folder
// from a 64-bit process, the 64-bit one through Sysnative from a 32-bit one.
int UnregisterControlFileInView(const wchar_t *path, int view)
{
    int own = sizeof(void *) == 8 ? 64 : 32;
    if (view == 0 || view == own)
        return UnregisterControlFile(path);
    wchar_t folder[MAX_PATH] = {};
    wchar_t program[MAX_PATH] = {};
    UINT n = own == 64 ? GetSystemWow64DirectoryW(folder, MAX_PATH)
                       : GetSystemWindowsDirectoryW(folder, MAX_PATH);
    if (n == 0 || n >= MAX_PATH ||
        !ComposeText(program, MAX_PATH,
                     {(const wchar_t *)folder,
                      own == 64 ? L"\\regsvr32.exe" : L"\\Sysnative\\regsvr32.exe"}))
        return 0;
    return Unregister(program, path);
}

// 1 only when the registering run ended with exit code 0: the registrar's
// exit code decides success. The unregistering run before it never does.
// exitCode is (DWORD)-1 when the registering run did not take place.
int RegisterControlFileForExit(const wchar_t *path, DWORD *exitCode)
{
    *exitCode = (DWORD)-1;
    wchar_t program[MAX_PATH] = {};
    wchar_t parameters[kRegisterParametersSize] = {};
    // The unregistering run takes the shorter parameters; refuse what it cannot take.
    wchar_t probe[kUnregisterParametersSize] = {};
    if (HoldsQuote(path) ||
        !ComposeText(probe, kUnregisterParametersSize, {L" /u /s \"", path, L"\""}))
        return 0;
    if (!GetRegistrarPath(program, MAX_PATH))
        return 0;
    if (!ComposeText(parameters, kRegisterParametersSize, {L" /s \"", path, L"\""}))
        return 0;
    UnregisterControlFile(path);
    if (!RunAndWaitForExit(program, parameters, exitCode))
        return 0;
    return *exitCode == 0 ? 1 : 0;
}

int RegisterControlFile(const wchar_t *path)
{
    DWORD exitCode;
    return RegisterControlFileForExit(path, &exitCode);
}
