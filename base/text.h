// Bounded text composition. Every fixed buffer of the tool is written through
// these helpers: a text that does not fit is never cut, the call fails and the
// buffer holds an empty text, so nothing is ever acted on under a cut name.
// Free of the Windows headers so the same code can be checked natively.
#pragma once

#include <cstddef>
#include <initializer_list>

#include "base/limits.h"

template <typename Ch>
size_t TextLength(const Ch *text)
{
    size_t n = 0;
    while (text[n])
        n++;
    return n;
}

// Length of a text inside a buffer of cap characters that may lack a
// terminator (registry data, for example); cap when there is none.
template <typename Ch>
size_t TextLengthWithin(const Ch *text, size_t cap)
{
    size_t n = 0;
    while (n < cap && text[n])
        n++;
    return n;
}

// 1 when the first n characters of text equal those of start. Compares as if
// text were cut after n characters: a text that ends earlier differs at its
// terminator.
template <typename Ch>
int StartsWithChars(const Ch *text, const Ch *start, size_t n)
{
    for (size_t i = 0; i < n; i++) {
        if (text[i] != start[i])
            return 0;
    }
    return 1;
}

// The letter as an upper-case one, for the ASCII letters; any other code
// unit stays as it is.
template <typename Ch>
Ch AsciiUpper(Ch c)
{
    return c >= (Ch)'a' && c <= (Ch)'z' ? (Ch)(c - 'a' + 'A') : c;
}

// 1 when text starts with start, ASCII letters compared without their case
// and every other code unit as it is: for the tool's own prefixes (a
// registry root, "api-ms-", a system folder) and for paths the registry or
// the file system handed back in their one spelling.
template <typename Ch>
int StartsWithIgnoringCase(const Ch *text, const Ch *start)
{
    for (size_t i = 0; start[i]; i++) {
        if (AsciiUpper(text[i]) != AsciiUpper(start[i]))
            return 0;
    }
    return 1;
}

// The characters of path up to and with its last separator ('\\' or '/'):
// the length of its folder part, 0 when it names no folder.
template <typename Ch>
size_t FolderPartLength(const Ch *path)
{
    size_t length = 0;
    for (size_t i = 0; path[i]; i++) {
        if (path[i] == (Ch)'\\' || path[i] == (Ch)'/')
            length = i + 1;
    }
    return length;
}

// 1 when text holds the character c.
template <typename Ch>
int HoldsCharacter(const Ch *text, Ch c)
{
    for (size_t i = 0; text[i]; i++) {
        if (text[i] == c)
            return 1;
    }
    return 0;
}

// Joins parts into dst (cap characters including the terminator).
// Returns 1 when the whole text fits; otherwise dst is empty and 0 is returned.
template <typename Ch>
int ComposeText(Ch *dst, size_t cap, std::initializer_list<const Ch *> parts)
{
    if (cap == 0)
        return 0;
    size_t used = 0;
    for (const Ch *part : parts) {
        size_t n = TextLength(part);
        if (n >= cap - used) {
            dst[0] = 0;
            return 0;
        }
        for (size_t i = 0; i < n; i++)
            dst[used + i] = part[i];
        used += n;
    }
    dst[used] = 0;
    return 1;
}

// Appends tail to the text in dst. When it does not fit, dst stays as it was
// and 0 is returned.
template <typename Ch>
int AppendText(Ch *dst, size_t cap, const Ch *tail)
{
    size_t used = TextLengthWithin(dst, cap);
    if (used >= cap)
        return 0;
    size_t n = TextLength(tail);
    if (n >= cap - used)
        return 0;
    for (size_t i = 0; i <= n; i++)
        dst[used + i] = tail[i];
    return 1;
}

template <typename Ch>
int CopyText(Ch *dst, size_t cap, const Ch *src)
{
    return ComposeText(dst, cap, {src});
}

// 1 when the last four characters of text equal ending (four characters),
// compared case-sensitively; shorter texts match nothing.
template <typename Ch>
int HasEnding(const Ch *text, const Ch *ending)
{
    size_t n = TextLength(text);
    size_t e = TextLength(ending);
    if (n < e)
        return 0;
    for (size_t i = 0; i < e; i++) {
        if (text[n - e + i] != ending[i])
            return 0;
    }
    return 1;
}

// Writes value in decimal; returns 0 (and an empty text) when it does not fit.
template <typename Ch>
int FormatDecimal(Ch *dst, size_t cap, long long value)
{
    Ch digits[kDecimalSize];
    size_t n = 0;
    unsigned long long v = value < 0 ? 0ULL - (unsigned long long)value : (unsigned long long)value;
    do {
        digits[n++] = (Ch)('0' + v % 10);
        v /= 10;
    } while (v);
    if (value < 0)
        digits[n++] = (Ch)'-';
    if (n >= cap) {
        if (cap)
            dst[0] = 0;
        return 0;
    }
    for (size_t i = 0; i < n; i++)
        dst[i] = digits[n - 1 - i];
    dst[n] = 0;
    return 1;
}
