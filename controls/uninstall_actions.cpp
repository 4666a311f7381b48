// The Uninstall page's removal actions: a double click on an entry and the
// uninstall-all button. Both refill the list once at the end.
#include "controls/actions.h"

#include "base/windows_shared.h"
#include "controls/controls.h"
#include "records/records.h"

void DoubleClickAction(HWND owner)
{
    // With no entry selected (or one too long to read whole) the text stays
    // empty, and removing it does nothing.
    wchar_t progId[kRemovalEntrySize] = {};
    GetSelectedEntryText(progId, kRemovalEntrySize);
    if (MessageBoxW(owner, L"   是否卸载？", kNoticeCaption, MB_YESNO) != IDYES)
        return;
    UninstallControl(progId);
    QueryInstalledControls();
}

void UninstallAllAction(HWND owner)
{
    int count = (int)SendMessageW(g_controlList, LB_GETCOUNT, 0, 0);
    if (count == 0) {
        MessageBoxW(owner, kQueryFirst, kNoticeCaption, MB_OK);
        return;
    }
    if (MessageBoxW(owner,
                    L"是否卸载列表中的全部控件？\r\n"
                    L"如果点击是,请稍等几秒钟,直到列表为空就表示卸载全部操作完成。",
                    kNoticeCaption, MB_YESNO) != IDYES)
        return;
    // The list stays as it is during the loop: entries go in list order.
    for (int i = 0; i < count; i++) {
        wchar_t progId[kRemovalEntrySize] = {};
        GetListEntryText(i, progId, kRemovalEntrySize);
        RemovalOutcome outcome;
        RemoveControl(progId, &outcome);
    }
    PruneRecords();
    QueryInstalledControls();
}
