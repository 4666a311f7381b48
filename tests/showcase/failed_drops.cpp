// Not a test: shows the real main window with the report of a failed drop
// ("drop") or of a failed cabinet ("cabinet"), or the information box of a
// control the browser will not load ("info"), for scripts/screenshot.sh. A
// script cannot drag a file onto a Wine window, so the file is dropped
// in-process, as the tests drop files; the program then prints "ready" and
// runs until its window is closed.
#include "support/cabinet_maker.h"
#include "support/pe_maker.h"
#include "app/app.h"
#include "window/support/window_support.h"

#include <stdio.h>
#include <string.h>

// The test control, made to need a DLL this machine lacks (12 bytes replace
// the import's name "ADVAPI32.dll").
static std::string Needing(const std::string &dll)
{
    std::string name = dll;
    name.resize(12, '\0');
    return ReplaceBytes(ReadFileBytes(TestServerPath()), "ADVAPI32.dll", name);
}

// The clock the extraction names its folder by: always the same second, so
// the picture of a failed cabinet shows the same folder in every package.
static void WINAPI FixedClock(FILETIME *now)
{
    ULONGLONG ticks = 1765000000ULL * 10000000ULL + 116444736000000000ULL;
    now->dwLowDateTime = (DWORD)ticks;
    now->dwHighDateTime = (DWORD)(ticks >> 32);
}

int main(int argc, char **argv)
{
    bool cabinet = argc == 2 && strcmp(argv[1], "cabinet") == 0;
    bool info = argc == 2 && strcmp(argv[1], "info") == 0;
    if (argc != 2 || (!cabinet && !info && strcmp(argv[1], "drop") != 0)) {
        fprintf(stderr, "usage: failed_drops.exe drop|cabinet|info\n");
        return 2;
    }
    std::wstring dir = SystemDrive() + L":\\控件";
    CreateDirectoryW(dir.c_str(), NULL);
    std::wstring dropped;
    if (cabinet) {
        std::string good = ReadFileBytes(TestServerPath());
        if (!MakeCabinet(dir, "OrviSeal.cab",
                         {{"OrviSeal.ocx", Needing("mfc140u.dll")}, {"OrviSign.ocx", good}}))
            return 1;
        dropped = dir + L"\\OrviSeal.cab";
    } else {
        dropped = dir + L"\\OrviSeal.ocx";
        WriteFileBytes(dropped, Needing("mfc42.dll"));
    }
    if (info) {
        // A control registered by hand that needs a runtime the PC lacks:
        // the page lists it and a right click shows its box.
        const std::wstring clsid = L"{0D1C2B3A-4E5F-4a6b-8C7D-9E0F1A2B3C99}";
        std::wstring server = dir + L"\\OrviSign.ocx";
        WriteFileBytes(server, Needing("mfc140u.dll"));
        SetDefaultValue(HKEY_CLASSES_ROOT, L"ORVI.OrviSign\\CLSID", clsid);
        SetDefaultValue(HKEY_CLASSES_ROOT, L"CLSID\\" + clsid + L"\\InprocServer32", server);
        HWND window = StartMainWindow();
        g_page = 2;
        InvalidateRect(window, NULL, TRUE);
        Command(window, g_queryButton, BN_CLICKED);
        SelectEntry(L"ORVI.OrviSign");
        PostMessageW(window, WM_CONTEXTMENU, (WPARAM)g_controlList, MAKELPARAM(300, 300));
    } else {
        RedirectImport("kernel32.dll", "GetSystemTimeAsFileTime", (void *)&FixedClock);
        HWND window = StartMainWindow();
        SendDrop(window, {dropped});
    }
    printf("ready\n");
    fflush(stdout);
    MSG msg;
    while (GetMessageW(&msg, NULL, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    if (info) {
        DeleteTree(HKEY_CLASSES_ROOT, L"ORVI.OrviSign");
        DeleteTree(HKEY_CLASSES_ROOT, L"CLSID\\{0D1C2B3A-4E5F-4a6b-8C7D-9E0F1A2B3C99}");
    }
    return 0;
}
