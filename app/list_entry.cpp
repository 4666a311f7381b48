// Reading list entries into fixed buffers without ever writing past them.
#include "app/app.h"

int GetListEntryText(int index, wchar_t *text, int cap)
{
    text[0] = 0;
    if (index < 0 || cap <= 0)
        return 0;
    LRESULT length = SendMessageW(g_controlList, LB_GETTEXTLEN, index, 0);
    // LB_GETTEXT takes no size: an entry that does not fit is skipped, not cut.
    if (length == LB_ERR || length >= cap)
        return 0;
    LRESULT copied = SendMessageW(g_controlList, LB_GETTEXT, index, (LPARAM)text);
    if (copied == LB_ERR) {
        text[0] = 0;
        return 0;
    }
    return (int)copied;
}

int GetSelectedEntryText(wchar_t *text, int cap)
{
    LRESULT index = SendMessageW(g_controlList, LB_GETCURSEL, 0, 0);
    if (index == LB_ERR) {
        if (cap > 0)
            text[0] = 0;
        return 0;
    }
    return GetListEntryText((int)index, text, cap);
}
