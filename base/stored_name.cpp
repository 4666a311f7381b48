// Plain-name test for names stored in a cabinet.
#include "base/stored_name.h"

#include "base/limits.h"

static int IsDotsAndSpaces(const char *name)
{
    for (const char *p = name; *p; p++) {
        if (*p != '.' && *p != ' ')
            return 0;
    }
    return 1;
}

static char UpperAscii(char c)
{
    return (c >= 'a' && c <= 'z') ? (char)(c - 'a' + 'A') : c;
}

// The platform maps these names to devices in any folder, with or without an
// extension, so writing to them would leave the folder.
static int IsDeviceName(const char *name)
{
    static const char *const devices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    // The longest device name, CONOUT$, and one character more tell it apart.
    char base[kDeviceBaseSize] = {};
    int n = 0;
    for (const char *p = name; *p && *p != '.'; p++) {
        if (n == kDeviceBaseSize - 1)
            return 0;
        base[n++] = UpperAscii(*p);
    }
    while (n > 0 && base[n - 1] == ' ')
        base[--n] = 0;
    for (const char *device : devices) {
        int i = 0;
        while (device[i] && device[i] == base[i])
            i++;
        if (!device[i] && !base[i])
            return 1;
    }
    // COM0-COM9 and LPT0-LPT9.
    if (n == 4 && base[3] >= '0' && base[3] <= '9' &&
        ((base[0] == 'C' && base[1] == 'O' && base[2] == 'M') ||
         (base[0] == 'L' && base[1] == 'P' && base[2] == 'T')))
        return 1;
    return 0;
}

// No ANSI code page has second bytes below 0x40, so every character refused
// below (all of them under 0x40 but the backslash and the bar) is always seen.
const unsigned char kLowestTrailByte = 0x40;

int IsPlainStoredName(const char *name, int (*isLeadByte)(unsigned char byte))
{
    if (!name || !name[0])
        return 0;
    for (const char *p = name; *p; p++) {
        unsigned char c = (unsigned char)*p;
        if (isLeadByte(c) && (unsigned char)p[1] >= kLowestTrailByte) {
            p++;
            continue;
        }
        if (c < 0x20)
            return 0;
        switch (c) {
        case '/':
        case '\\':
        case ':':
        case '*':
        case '?':
        case '"':
        case '<':
        case '>':
        case '|':
            return 0;
        default:
            break;
        }
    }
    if (IsDotsAndSpaces(name))
        return 0;
    if (IsDeviceName(name))
        return 0;
    return 1;
}
