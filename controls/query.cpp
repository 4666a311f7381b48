// Fills the Uninstall page's list with the family's installed controls: the
// keys directly below HKEY_CLASSES_ROOT whose first five characters are a
// family prefix, in registry order.
#include "controls/controls.h"

#include "base/windows_shared.h"
#include "base/ansi_text.h"
#include "base/family_prefix.h"

const int kPrefixChars = 5;

static void EmptyList()
{
    LRESULT count = SendMessageW(g_controlList, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; i++)
        SendMessageW(g_controlList, LB_DELETESTRING, 0, 0);
}

// The prefix test runs on the ANSI form of the name, so a character written
// with two bytes counts as two of the five. Only the first five characters
// are converted: they give the first five bytes, and a name of up to 255
// characters may need more than the buffer's 255 bytes as a whole. A name
// that cannot be converted as it is does not qualify: a look-alike letter
// (full-width, accented, dotted) must never pass for the plain one.
static int IsFamilyName(const wchar_t *name)
{
    char ansi[kAnsiKeyNameSize] = {};
    int length = 0;
    while (length < kPrefixChars && name[length])
        length++;
    if (length == 0)
        return 0;
    int whole = 0;
    if (!ToAnsiWhole(name, length, ansi, kAnsiKeyNameSize - 1, &whole))
        return 0;
    return HasFamilyPrefix(ansi);
}

int EnumerateInstalledControls(void (*found)(const wchar_t *progId, void *context), void *context)
{
    int added = 0;
    for (DWORD index = 0;; index++) {
        wchar_t name[kKeyNameSize] = {};
        DWORD size = kKeyNameSize;
        if (RegEnumKeyExW(HKEY_CLASSES_ROOT, index, name, &size, NULL, NULL, NULL, NULL) !=
            ERROR_SUCCESS)
            break;
        if (!IsFamilyName(name))
            continue;
        found(name, context);
        added++;
    }
    return added;
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
        MessageBoxW(owner, L"当前电脑没有安装控件！", L"提示", MB_OK);
}
