// Splits a fuzzer's input into texts the way the targets read it.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <vector>

// The bytes up to the first zero byte (or the end), terminated, in a buffer
// of exactly that size, so the sanitizers catch any read past it; *length is
// their count.
inline std::vector<char> TextBeforeZero(const uint8_t *data, size_t size, size_t *length)
{
    size_t n = 0;
    while (n < size && data[n])
        n++;
    std::vector<char> text(data, data + n);
    text.push_back(0);
    text.shrink_to_fit();
    *length = n;
    return text;
}
