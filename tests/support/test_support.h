// Helpers shared by the test programs: real message boxes answered by a hook,
// drops built the way the shell builds them, the main window, the registry,
// files, and a count of the drawing objects the tool creates.
#pragma once

#include "support/test_constants.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
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

// ---- message boxes --------------------------------------------------------
struct BoxRecord {
    HWND owner;
    std::wstring caption;
    std::wstring text;
    bool hasOk, hasYes, hasNo, hasCancel, hasIcon;
    int answer;
};

// Installs a WH_CBT hook on this thread that answers every message box as it
// opens. Answers are taken from the queue; with an empty queue OK or No is
// pressed. Nothing can hang on a modal box while the hook is installed.
void StartAnsweringBoxes();
void StopAnsweringBoxes();
void QueueBoxAnswer(int id);
std::vector<BoxRecord> TakeBoxes();
// Called with each box as it opens, before the box is answered.
void SetBoxCallback(void (*callback)(HWND box));
// True from a box's activation until its window is destroyed.
bool BoxIsOpen();

// A box as the tool shows it: no icon, and OK alone or Yes and No.
enum BoxButtons {
    kOkBox,
    kYesNoBox
};
struct ExpectedBox {
    HWND owner;
    std::wstring caption;
    std::wstring text;
    BoxButtons buttons;
};
// Takes the boxes shown since the last take and checks them against expected,
// in order. The macros only take the boxes as a list.
void ExpectBoxes(const std::vector<ExpectedBox> &expected, Caller = {});
#define EXPECT_BOXES(...) ExpectBoxes(std::vector<ExpectedBox>{__VA_ARGS__})
#define EXPECT_BOX(owner, caption, text, buttons)                                                  \
    EXPECT_BOXES(ExpectedBox{(owner), (caption), (text), (buttons)})

// ---- hangs -------------------------------------------------------------------
// Ends the test program with exit code 3 and a message naming what when
// StopWatchdog is not called within ms milliseconds. One watchdog at a time.
void StartWatchdog(DWORD ms, const char *what);
void StopWatchdog();

// ---- windows and messages --------------------------------------------------
// Processes this thread's messages for about ms milliseconds.
void PumpMessages(DWORD ms);
// Registers the classes (once per process) and creates, shows and paints the main window.
HWND StartMainWindow();
// Destroys it and takes the WM_QUIT its destruction posts.
void CloseMainWindow(HWND window);
// Invalidates and repaints the main window and its children now.
void Repaint(HWND window);
std::wstring WindowText(HWND window);
std::vector<std::wstring> ListEntries();
// Checks that the children of page (1: Register, any other: Uninstall) are
// shown and the other page's hidden.
void ExpectPageShown(int page, Caller = {});
// A memory device context of width x height pixels, filled with fill.
struct Canvas {
    HDC dc;
    HBITMAP bitmap;
    HGDIOBJ previous;
};
Canvas MakeCanvas(int width, int height, COLORREF fill);
void FreeCanvas(Canvas &canvas);
// Asks parent to draw its owner-drawn button in state into dc, in a width x
// height item at the origin.
void SendDrawItem(HWND parent, HWND button, UINT state, HDC dc, int width, int height);
// ORVI_LOAD_SIZES=reduced (the test command sets it for one of its two suites,
// to keep within its time) takes a tenth of each load; full otherwise.
int LoadSize(int full);
// Sends window a command from sender with the given notification code, as a
// child control sends it.
void Command(HWND window, HWND sender, WORD code);
// Selects the list entry that reads entry exactly; false when there is none.
bool SelectEntry(const std::wstring &entry);

// The real main window over a test: boxes answered, no family keys before
// the window is made or after it is gone. A fixture that prepares more calls
// MainWindowTest::SetUp() last and MainWindowTest::TearDown() first.
class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    void Command(HWND sender, WORD code)
    {
        ::Command(window, sender, code);
    }
    HWND window = NULL;
};

// ---- drops -------------------------------------------------------------------
// A global block laid out as the shell lays out a drop: DROPFILES header,
// wide names, each terminated, and a final terminator.
HDROP MakeDrop(const std::vector<std::wstring> &files);
void SendDrop(HWND window, const std::vector<std::wstring> &files);

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

// The Uninstall page of the real main window, shown, over registry keys the
// test owns: they are removed with everything below them when it ends (last
// made, first removed), as is the code store when the test made it. The
// tool's IsWow64 gives the platform's answer at either end. A fixture that
// prepares more calls UninstallPageTest::SetUp() last; one whose keys must
// go before any other (registry links) removes them before
// UninstallPageTest::TearDown().
class UninstallPageTest : public MainWindowTest {
protected:
    // With watchCalls the tool's registry opens and shell calls are recorded
    // from the page's first showing on.
    explicit UninstallPageTest(bool watchCalls = false) : watchCalls(watchCalls)
    {
    }
    void SetUp() override;
    void TearDown() override;

    // Removed after the test, in the given view, with everything below it.
    void Own(HKEY root, const std::wstring &path, REGSAM view = 0);
    // Owned, and its default value set.
    void Make(HKEY root, const std::wstring &path, const std::wstring &value = L"test value",
              REGSAM view = 0, Caller = {});
    // Owned, and a REG_SZ value set with the given byte count, so it may lack
    // its terminator or end in half a character (name NULL: the default value).
    void MakeRaw(HKEY root, const std::wstring &path, const wchar_t *name, const std::wstring &data,
                 DWORD bytes, REGSAM view = 0, Caller = {});
    // Owned, without any value.
    void MakeEmpty(HKEY root, const std::wstring &path, Caller = {});
    // The browser's record of the control of class clsid, owned, with value
    // name (NULL: the default value) of its subkey set, in view. The 32-bit
    // view's record (wow) is made through KEY_WOW64_32KEY: Wine 8 creates a
    // path through "SOFTWARE\Wow6432Node" from a 32-bit process one
    // Wow6432Node deeper.
    void Record(const std::wstring &clsid, bool wow, const wchar_t *subkey, const wchar_t *name,
                const std::wstring &value, REGSAM view = 0, Caller = {});

    // Fills the list with entries alone and selects the one at selected (-1: none).
    void Fill(const std::vector<std::wstring> &entries, int selected);
    void PressQuery();
    // The lookups' answer when one fails: exactly one box shown since the
    // last look, owned by the main window, OK alone and no icon; and every
    // key the tool opened is closed.
    virtual void ExpectOneBox(const wchar_t *caption, const std::wstring &text, Caller = {});
    // Gives the ProgID's CLSID each fault a lookup of it meets in turn (no
    // CLSID key, a CLSID key without a value, a value too long for the
    // lookup's buffer), and after each calls act and expects the error box
    // the lookup must show.
    void EachClsidFault(const std::wstring &progId, const std::function<void()> &act, Caller = {});

private:
    struct OwnedKey {
        HKEY root;
        std::wstring path;
        REGSAM view;
    };
    std::vector<OwnedKey> owned;
    bool hadCodeStore[2] = {};
    bool watchCalls;
};

// ---- registry opens and shell calls of the tool ---------------------------------
struct KeyOpenRecord {
    HKEY root;
    std::wstring path;
    DWORD options;
    REGSAM access;
    LSTATUS status;
};
struct ShellCallRecord {
    HWND owner;
    std::wstring verb, file; // "<null>" for a null pointer
    bool parametersNull, directoryNull;
    int show;
    INT_PTR result;
};
// Lets this program's calls of RegOpenKeyExW, RegCloseKey and ShellExecuteW
// through to the real functions while recording them; clears the records.
void StartWatchingCalls();
std::vector<KeyOpenRecord> TakeKeyOpens();
// Keys opened by RegOpenKeyExW since StartWatchingCalls and not yet closed.
long KeysLeftOpen();
std::vector<ShellCallRecord> TakeShellCalls();

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

// ---- drawing objects ----------------------------------------------------------
// Counts the drawing objects created and deleted by code in this program
// (the tool's code is linked in) by redirecting its gdi32 and LoadImageW imports.
void StartCountingGdiObjects();
long LiveGdiObjects();

// ---- files held by another process ---------------------------------------------
// Opens path with the given sharing and hands the handle to a suspended child
// process; returns the child (NULL on failure). ReleaseHeldFile ends it, which
// closes the file.
HANDLE HoldFileInChild(const std::wstring &path, DWORD share);
void ReleaseHeldFile(HANDLE child);
