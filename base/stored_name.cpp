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

template <typename Ch>
static Ch UpperAscii(Ch c)
{
    return (c >= 'a' && c <= 'z') ? (Ch)(c - 'a' + 'A') : c;
}

// The number of COM and LPT: a digit, and in the Unicode name the file
// system sees, the superscripts one to three as well.
static int IsDeviceDigit(char c)
{
    return c >= '0' && c <= '9';
}

static int IsDeviceDigit(wchar_t c)
{
    return (c >= L'0' && c <= L'9') || c == 0xB9 || c == 0xB2 || c == 0xB3;
}

// The platform maps these names to devices in any folder, with or without an
// extension, so writing to them would leave the folder.
template <typename Ch>
static int IsDeviceName(const Ch *name)
{
    static const char *const devices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    // The longest device name, CONOUT$, and one character more tell it apart.
    Ch base[kDeviceBaseSize] = {};
    int n = 0;
    for (const Ch *p = name; *p && *p != '.'; p++) {
        if (n == kDeviceBaseSize - 1)
            return 0;
        base[n++] = UpperAscii(*p);
    }
    while (n > 0 && base[n - 1] == ' ')
        base[--n] = 0;
    for (const char *device : devices) {
        int i = 0;
        while (device[i] && (Ch)device[i] == base[i])
            i++;
        if (!device[i] && !base[i])
            return 1;
    }
    // COM0-COM9 and LPT0-LPT9 (and, in Unicode, COM¹-COM³ and LPT¹-LPT³).
    if (n == 4 && IsDeviceDigit(base[3]) &&
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

int IsDeviceStoredName(const wchar_t *name)
{
    return name && IsDeviceName(name);
}
