// Ends the test program when something it waits for never ends, so a hang
// shows as a failure instead of holding up the whole run.
#include "support/test_support.h"

#include <stdio.h>

namespace {

struct Watch {
    HANDLE stop;
    DWORD ms;
    std::string what;
};

Watch g_watch;
HANDLE g_thread;

DWORD WINAPI WatchThread(void *)
{
    if (WaitForSingleObject(g_watch.stop, g_watch.ms) == WAIT_TIMEOUT) {
        fprintf(stderr, "%s did not end within %lu seconds\n", g_watch.what.c_str(),
                g_watch.ms / 1000);
        fflush(stderr);
        TerminateProcess(GetCurrentProcess(), 3);
    }
    return 0;
}

} // namespace

void StartWatchdog(DWORD ms, const char *what)
{
    g_watch.stop = CreateEventW(NULL, TRUE, FALSE, NULL);
    g_watch.ms = ms;
    g_watch.what = what;
    g_thread = CreateThread(NULL, 0, WatchThread, NULL, 0, NULL);
}

void StopWatchdog()
{
    if (!g_thread)
        return;
    SetEvent(g_watch.stop);
    WaitForSingleObject(g_thread, 5000);
    CloseHandle(g_thread);
    CloseHandle(g_watch.stop);
    g_thread = NULL;
}
