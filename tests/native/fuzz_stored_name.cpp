// Fuzzes the check of names stored in a cabinet, once as code page 936 and
// once without double-byte characters: an accepted name is one non-empty
// plain file name (no slash, backslash, colon, control or wildcard character
// outside a double-byte character, not dots and spaces only), nothing past
// the terminator is read (AddressSanitizer watches the exact-size buffer) or
// changes the answer, a name accepted without double-byte characters is
// accepted with them, ordinary names are never refused, and an ASCII name
// whose Unicode form is a device name is refused.
#include "fuzz_input.h"
#include "base/stored_name.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

int IsGbkLeadByte(unsigned char byte)
{
    return byte >= 0x81 && byte <= 0xFE;
}

int NoLeadByte(unsigned char)
{
    return 0;
}

// Checks one answer for the name of n bytes; returns it.
int Check(const std::vector<char> &name, size_t n, const std::vector<char> &followed,
          int (*isLeadByte)(unsigned char))
{
    int plain = IsPlainStoredName(name.data(), isLeadByte);
    if (plain != 0 && plain != 1)
        abort();
    // The same name followed by the rest of the input.
    if (IsPlainStoredName(followed.data(), isLeadByte) != plain)
        abort();

    bool onlyDotsAndSpaces = true;
    bool ordinary = n > 0 && name[0] == '_';
    for (size_t i = 0; i < n; i++) {
        unsigned char c = (unsigned char)name[i];
        if (c != '.' && c != ' ')
            onlyDotsAndSpaces = false;
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
              c == '_' || c == '.'))
            ordinary = false;
    }
    for (size_t i = 0; i < n; i++) {
        unsigned char c = (unsigned char)name[i];
        // A double-byte character: its second byte is no separator.
        if (isLeadByte(c) && i + 1 < n && (unsigned char)name[i + 1] >= 0x40) {
            i++;
            continue;
        }
        if (plain && (c < 0x20 || strchr("/\\:*?\"<>|", c)))
            abort();
    }
    if (plain && (n == 0 || onlyDotsAndSpaces))
        abort();
    // Letters, digits, dots and underscores, starting with an underscore: no
    // device name, no separator, so always accepted.
    if (ordinary && !plain)
        abort();
    // ASCII is the same in every code page: the byte test and the Unicode
    // test see the same device names.
    std::vector<wchar_t> wide(n + 1, 0);
    bool ascii = true;
    for (size_t i = 0; i < n; i++) {
        ascii = ascii && (unsigned char)name[i] < 0x80;
        wide[i] = (unsigned char)name[i];
    }
    int device = IsDeviceStoredName(wide.data());
    if (device != 0 && device != 1)
        abort();
    if (ascii && device && plain)
        abort();
    return plain;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    size_t n = 0;
    std::vector<char> name = TextBeforeZero(data, size, &n);
    std::vector<char> followed(data, data + size);
    followed.push_back(0);

    int single = Check(name, n, followed, NoLeadByte);
    int gbk = Check(name, n, followed, IsGbkLeadByte);
    // Reading double-byte characters only ever takes refusals away.
    if (single && !gbk)
        abort();
    return 0;
}
