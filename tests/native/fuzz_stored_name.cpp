// Fuzzes the check of names stored in a cabinet: an accepted name is one
// non-empty plain file name (no slash, backslash, colon, control or wildcard
// character, not dots and spaces only), nothing past the terminator is read
// (AddressSanitizer watches the exact-size buffer) or changes the answer, and
// ordinary names are never refused.
#include "register/stored_name.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    size_t n = 0;
    while (n < size && data[n])
        n++;
    std::vector<char> name(data, data + n);
    name.push_back(0);
    name.shrink_to_fit();
    int plain = IsPlainStoredName(name.data());
    if (plain != 0 && plain != 1)
        abort();

    // The same name followed by the rest of the input.
    std::vector<char> followed(data, data + size);
    followed.push_back(0);
    if (IsPlainStoredName(followed.data()) != plain)
        abort();

    bool onlyDotsAndSpaces = true;
    bool ordinary = n > 0 && name[0] == '_';
    for (size_t i = 0; i < n; i++) {
        unsigned char c = (unsigned char)name[i];
        if (plain && (c < 0x20 || strchr("/\\:*?\"<>|", c)))
            abort();
        if (c != '.' && c != ' ')
            onlyDotsAndSpaces = false;
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '.'))
            ordinary = false;
    }
    if (plain && (n == 0 || onlyDotsAndSpaces))
        abort();
    // Letters, digits, dots and underscores, starting with an underscore: no
    // device name, no separator, so always accepted.
    if (ordinary && !plain)
        abort();
    return 0;
}
