// The family's installed controls: the keys directly below
// HKEY_CLASSES_ROOT whose first five characters are a family prefix, in
// registry order.
#include "controls/controls.h"

#include "base/family_prefix.h"

// The prefix test runs on the ANSI form of the name, so a character written
// with two bytes counts as two of the five. Only the first five characters
// are converted: they give the first five bytes, and a name of up to 255
// characters may need more than the buffer's 255 bytes as a whole. A name
// that cannot be converted as it is does not qualify: a look-alike letter
// (full-width, accented, dotted) must never pass for the plain one.
int IsFamilyName(const wchar_t *name)
{
    char ansi[kAnsiKeyNameSize] = {};
    int length = 0;
    while (length < kFamilyPrefixLength && name[length])
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
