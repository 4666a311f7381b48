// Entry point of the tool.
#include "app/app.h"
#include "register/register.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    LoadDllsFromSystemFolderOnly();
    return RunMainWindow(instance);
}
