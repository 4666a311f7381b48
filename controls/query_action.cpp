// The query action: fills the Uninstall page's list with the family's
// installed controls, or says that none is installed.
#include "controls/actions.h"

#include "base/windows_shared.h"
#include "controls/controls.h"

static void EmptyList()
{
    LRESULT count = SendMessageW(g_controlList, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; i++)
        SendMessageW(g_controlList, LB_DELETESTRING, 0, 0);
}

static void AddListEntry(const wchar_t *progId, void *)
{
    SendMessageW(g_controlList, LB_ADDSTRING, 0, (LPARAM)progId);
}

int QueryInstalledControls()
{
    EmptyList();
    return EnumerateInstalledControls(AddListEntry, NULL);
}

void QueryAction(HWND owner)
{
    if (QueryInstalledControls() == 0)
        MessageBoxW(owner, kNothingInstalled, kNoticeCaption, MB_OK);
}
