// Helpers every test program shares, none of them a window's: the registry,
// files and the test server, hangs, and the scene of keys and files a test
// builds around a control (window/support/window_support.h adds the window's).
#pragma once

#include "support/test_constants.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

// ---- where a helper was called from -------------------------------------------
// Every helper that checks and has more than one caller takes a Caller as its
// last parameter, defaulted. Made at the call site, it holds a trace of that
// line for the whole call, so a failure inside the helper names the test's
// line as well as its own. GCC, Clang and MSVC give __builtin_FILE() and
// __builtin_LINE() in a default argument the call site's values (C++20's
// std::source_location rests on them).
class Caller {
public:
    Caller(const char *file = __builtin_FILE(), int line = __builtin_LINE())
        : trace(file, line, "called here")
    {
    }

private:
    ::testing::ScopedTrace trace;
};

// ---- hangs -------------------------------------------------------------------
// Ends the test program with exit code 3 and a message naming what when
// StopWatchdog is not called within ms milliseconds. One watchdog at a time.
void StartWatchdog(DWORD ms, const char *what);
void StopWatchdog();

// ---- loads ---------------------------------------------------------------------
// ORVI_LOAD_SIZES=reduced (the test command sets it for one of its two suites,
// to keep within its time) takes a tenth of each load; full otherwise.
int LoadSize(int full);

// ---- registry ------------------------------------------------------------------
// Keys are taken in the process's own view, as the tool takes them; view
// KEY_WOW64_64KEY takes the 64-bit one, which a 32-bit process on 64-bit
// Windows reaches no other way.
bool KeyExists(HKEY root, const std::wstring &path, REGSAM view = 0);
void SetDefaultValue(HKEY root, const std::wstring &path, const std::wstring &value,
                     REGSAM view = 0);
void SetStringValue(HKEY root, const std::wstring &path, const std::wstring &name,
                    const std::wstring &value, REGSAM view = 0);
std::wstring ReadStringValue(HKEY root, const std::wstring &path, const std::wstring &name = L"");
void DeleteTree(HKEY root, const std::wstring &path, REGSAM view = 0);
// Number of subkeys of the key at path (an empty path: root itself); 0 when it does not open.
DWORD SubkeyCount(HKEY root, const std::wstring &path);
// Everyone may do anything with the key except what deny names (0: no DACL).
// Wine enforces a denied KEY_READ (the key can then be neither emptied nor
// deleted) but not a denied DELETE.
void SetKeyDacl(HKEY root, const std::wstring &path, DWORD deny, Caller = {});
// Names of the keys directly below HKEY_CLASSES_ROOT that start with one of
// the family prefixes, in registry order. For clean-up: tests compare the
// tool's list with explicit expected lists, never with this.
std::vector<std::wstring> FamilyKeys();
// Removes every family key and the test server's keys, so each test starts clean.
void RemoveFamilyKeys();
// Names of the subkeys of the key at path, in registry order.
std::vector<std::wstring> SubkeyNames(HKEY root, const std::wstring &path);

// The browser's record of downloaded controls, in each view's own path, and
// its record of the control of class clsid there (wow: the 32-bit view's).
extern const wchar_t kCodeStore[];
extern const wchar_t kCodeStoreWow[];
std::wstring UnitKey(bool wow, const std::wstring &clsid);

// The test server's own keys below HKEY_CLASSES_ROOT, as its registration writes them.
const wchar_t *const kServerProgId = kTestServerProgId;
const std::wstring kServerClassKey = std::wstring(L"CLSID\\") + kTestServerClsid;
const std::wstring kServerTypeLibKey = std::wstring(L"TypeLib\\") + kTestServerTypeLib;
const std::wstring kServerInterfaceKey = std::wstring(L"Interface\\") + kTestServerIid;

// ---- files and the test server ------------------------------------------------
std::wstring TestProgramDir();
// Full path of the test COM server built beside the test programs.
std::wstring TestServerPath();
// The test server of the other build (the 32-bit one for the x86_64 tests,
// the 64-bit one for the i686 tests), in that build's folder; it registers
// the same ProgID and class, in the other registry view.
std::wstring OtherBuildTestServerPath();
// The flag that opens the other registry view from this test program.
REGSAM OtherViewFlag();
// A fresh, empty scratch folder below the temporary folder.
std::wstring MakeScratchDir(const std::wstring &name);
bool FileExists(const std::wstring &path);
// Names in a folder, "." and ".." left out, sorted.
std::vector<std::wstring> NamesIn(const std::wstring &dir);
// Deletes a folder with everything in it, read-only files included.
void RemoveTree(const std::wstring &dir);
// Sets a folder's DACL from SDDL; kOpenToEveryone is what a folder made by
// anybody else could carry: Everyone may change it.
void SetFolderDacl(const std::wstring &folder, const wchar_t *sddl);
const wchar_t kOpenToEveryone[] = L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1301bf;;;WD)";
std::string ReadFileBytes(const std::wstring &path);
void WriteFileBytes(const std::wstring &path, const std::string &bytes);
void SetEnv(const wchar_t *name, const wchar_t *value);
// A handle made and closed at once. Wine hands out the lowest free handle
// slot, so any handle left open between two calls pushes the value up.
HANDLE FreshHandle();
// Lines the test server appended to its log ("register <path>", "unregister <path>").
std::vector<std::wstring> ReadServerLog(const std::wstring &path);
// The server file the test class is registered with ("" when it is not).
std::wstring RegisteredTestServer();

// Replaces the import of function from dll in this program's import table
// with wrapper; returns the real function.
void *RedirectImport(const char *dll, const char *function, void *wrapper);

// ---- the 32-bit-on-64-bit answer ------------------------------------------------
// True when this test process is a 32-bit process on 64-bit Windows.
bool ProcessIsWow64();
// Makes the tool's IsWow64 answer nonzero or zero from now on (see
// support/wow64_column.cpp); true when that is the platform's own answer,
// false when the test double has to give it.
bool UseWow64Column(bool nonzero);

// ---- files held by another process ---------------------------------------------
// Opens path with the given sharing and hands the handle to a suspended child
// process; returns the child (NULL on failure). ReleaseHeldFile ends it, which
// closes the file.
HANDLE HoldFileInChild(const std::wstring &path, DWORD share);
void ReleaseHeldFile(HANDLE child);

// ---- a test's keys and files -----------------------------------------------------
typedef std::pair<HKEY, std::wstring> KeyName;

// The keys and files a test makes around its controls, all taken away after
// it, links and denied keys first (any other deletion would follow or stop
// at them): no family key, the code store as it was, a fresh scratch folder
// dir, the test server's environment cleared and the tool's IsWow64 on the
// platform's answer at either end.
class ControlScene {
protected:
    void BeginScene(const wchar_t *scratchName);
    // Links, denied keys and the held file, undone; EndScene does it first.
    void ReleaseGuards();
    void EndScene();

    // Removed after the test, in the given view, with everything below it.
    void Own(HKEY root, const std::wstring &path, REGSAM view = 0);
    // Owned, and its default value set.
    void Make(HKEY root, const std::wstring &path, const std::wstring &value = L"test value",
              REGSAM view = 0, Caller = {});
    // Owned, and a REG_SZ value of bytes bytes set, so it may lack its
    // terminator or end in half a character (name NULL: the default value).
    void MakeRaw(HKEY root, const std::wstring &path, const wchar_t *name, const std::wstring &data,
                 DWORD bytes, REGSAM view = 0, Caller = {});
    // Owned, and a REG_DWORD value name set (the browser's settings).
    void MakeDword(HKEY root, const std::wstring &path, const wchar_t *name, DWORD value,
                   REGSAM view = 0, Caller = {});
    // Owned, without any value.
    void MakeEmpty(HKEY root, const std::wstring &path, Caller = {});
    // The browser's record of class clsid, owned, with value name of its
    // subkey set, in view; the 32-bit view's (wow) through KEY_WOW64_32KEY, as
    // Wine 8 makes a path through "SOFTWARE\Wow6432Node" one Wow6432Node deeper.
    void Record(const std::wstring &clsid, bool wow, const wchar_t *subkey, const wchar_t *name,
                const std::wstring &value, REGSAM view = 0, Caller = {});
    // A registry link at path to target (a path below HKEY_LOCAL_MACHINE).
    void MakeLink(HKEY root, const std::wstring &path, const std::wstring &target, Caller = {});
    // Denies what deny names on the key until the test ends.
    void Protect(HKEY root, const std::wstring &path, DWORD deny, Caller = {});
    static void OpenUp(HKEY root, const std::wstring &path);

    // A control as a registration leaves it: the ProgID's CLSID and the
    // class's server value of type, in the Wow6432Node path when wow.
    void PlantControl(const std::wstring &progId, const std::wstring &clsid,
                      const std::wstring &server, bool wow = false, DWORD type = REG_SZ,
                      Caller = {});
    // A file in dir that stands for a control's server; regsvr32 cannot load it.
    std::wstring MakeServerFile(const std::wstring &name, Caller = {});
    // A control planted with such a file as its server; the file's path.
    std::wstring Control(const std::wstring &progId, const std::wstring &clsid,
                         const std::wstring &fileName, Caller = {});
    std::wstring CopyTestServer(const std::wstring &name, Caller = {});
    // Copied and registered by the real regsvr32.exe; its log starts empty.
    std::wstring RegisterServer(const std::wstring &name, Caller = {});
    // The test server logs each of its runs to log from now on.
    void LogServer();
    std::wstring InDir(const std::wstring &name) const
    {
        return dir + L"\\" + name;
    }

    std::vector<KeyName> links, protectedKeys;
    std::wstring dir, log;
    HANDLE holder = NULL;

private:
    struct OwnedKey {
        HKEY root;
        std::wstring path;
        REGSAM view;
    };
    std::vector<OwnedKey> owned;
    bool hadCodeStore[2] = {};
    bool hadMachineWow6432Node = false;
};

// An engine test over a scene whose scratch folder is named scratchName.
class SceneTest : public ::testing::Test, protected ControlScene {
protected:
    explicit SceneTest(const wchar_t *scratchName) : scratchName(scratchName)
    {
    }
    void SetUp() override
    {
        BeginScene(scratchName);
    }
    void TearDown() override
    {
        EndScene();
    }

private:
    const wchar_t *scratchName;
};
