// A control's server in each registry view that holds its class, and the
// file each names as this process reaches it: what orvictl's list, info and
// check and the window's readiness line all read.
#include "controls/controls.h"

#include "base/text.h"

// The file the registry's server value names, looked for as the removal
// takes it (ServerFileOfValue), as a process of the class's view reads it:
// System32 in a 64-bit class is the 64-bit folder, from either build. In
// reached (kServerPathSize characters); 0 when it names none.
static int ReachServerFile(const wchar_t *serverPath, DWORD type, int view, wchar_t *reached)
{
    static wchar_t file[kServerPathSize];
    reached[0] = 0;
    return ServerFileOfValue(serverPath, type, file) &&
           PathForProcess(file, view, reached, kServerPathSize);
}

static void TakeServer(ViewServer *server, int view)
{
    server->view = view;
    server->exists = 0;
    if (!ReachServerFile(server->path, server->type, view, server->file))
        return;
    DWORD attributes = GetFileAttributesW(server->file);
    server->exists =
        attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

void ReadControlServers(const wchar_t *progId, ControlServers *servers)
{
    ZeroMemory(&servers->info, sizeof(servers->info));
    servers->count = 0;
    ViewServer *own = &servers->views[0];
    own->type = ReadControlRecord(progId, &servers->info, own->path);
    if (own->type) {
        TakeServer(own, ColumnView());
        servers->count++;
    }
    ViewServer *other = &servers->views[servers->count];
    other->type = ReadOtherViewServerPath(servers->info.clsid, other->path);
    if (other->type) {
        TakeServer(other, OtherView(ColumnView()));
        servers->count++;
    }
}

int ServersExist(const ControlServers *servers)
{
    int exist = servers->count > 0;
    for (int i = 0; i < servers->count; i++)
        exist = exist && servers->views[i].exists;
    return exist;
}
