// Helpers of the window's test programs: real message boxes answered by a
// hook, the real main window and its pages, drops built the way the shell
// builds them, the tool's registry opens and shell calls, and a count of the
// drawing objects it creates.
#pragma once

#include "support/test_support.h"

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

// ---- the pages -------------------------------------------------------------------
// A page of the real main window (1: Register, 2: Uninstall), shown, over a
// scene of keys and files the test owns: the scene comes first and goes
// last. With logRuns the test server logs each run to log. A fixture that
// prepares more calls SetUp() last and TearDown() first.
class PageTest : public MainWindowTest, protected ControlScene {
protected:
    PageTest(int page, const wchar_t *scratchName, bool logRuns = false)
        : page(page), scratchName(scratchName), logRuns(logRuns)
    {
    }
    void SetUp() override;
    void TearDown() override;

private:
    int page;
    const wchar_t *scratchName;
    bool logRuns;
};

class UninstallPageTest : public PageTest {
protected:
    // With watchCalls the tool's registry opens and shell calls are recorded
    // from the page's first showing on.
    explicit UninstallPageTest(bool watchCalls = false)
        : PageTest(2, L"uninstall page"), watchCalls(watchCalls)
    {
    }
    void SetUp() override
    {
        PageTest::SetUp();
        if (watchCalls)
            StartWatchingCalls();
    }

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
    bool watchCalls;
};

// The refusal of a path the registrar or the decompressor cannot take whole.
const wchar_t kTooLong[] = L"ERROR:拖入文件路径过长！";

// ---- drawing objects ----------------------------------------------------------
// Counts the drawing objects created and deleted by code in this program
// (the tool's code is linked in) by redirecting its gdi32 and LoadImageW imports.
void StartCountingGdiObjects();
long LiveGdiObjects();
