// Output of orvictl. Text reaches a console as Unicode and a file or pipe as
// UTF-8, so no character is lost to the console's code page.
#include "cli/cli.h"

#include "base/text.h"

static void WriteTo(HANDLE handle, const wchar_t *text)
{
    if (handle == NULL || handle == INVALID_HANDLE_VALUE)
        return;
    size_t length = TextLength(text);
    DWORD mode;
    if (GetConsoleMode(handle, &mode)) {
        DWORD written;
        WriteConsoleW(handle, text, (DWORD)length, &written, NULL);
        return;
    }
    // Converted kChunkChars at a time; a surrogate pair is never split.
    while (length > 0) {
        int n = length > (size_t)kChunkChars ? kChunkChars : (int)length;
        if (n < (int)length && text[n - 1] >= 0xD800 && text[n - 1] <= 0xDBFF)
            n--;
        char utf8[kChunkChars * 3 + 4];
        int bytes = WideCharToMultiByte(CP_UTF8, 0, text, n, utf8, sizeof(utf8), NULL, NULL);
        DWORD written;
        if (bytes > 0)
            WriteFile(handle, utf8, (DWORD)bytes, &written, NULL);
        text += n;
        length -= n;
    }
}

void WriteOut(const wchar_t *text)
{
    WriteTo(GetStdHandle(STD_OUTPUT_HANDLE), text);
}

void WriteOutLine(std::initializer_list<const wchar_t *> parts)
{
    for (const wchar_t *part : parts)
        WriteOut(part);
    WriteOut(L"\r\n");
}

void WriteErrLine(std::initializer_list<const wchar_t *> parts)
{
    HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
    for (const wchar_t *part : parts)
        WriteTo(err, part);
    WriteTo(err, L"\r\n");
}

// Adds part to the piece being collected, writing the piece out first when
// part does not fit any more.
static void Collect(wchar_t *piece, const wchar_t *part)
{
    if (AppendText(piece, kChunkChars, part))
        return;
    WriteOut(piece);
    CopyText(piece, kChunkChars, part);
}

void WriteJsonString(const wchar_t *text)
{
    if (!text) {
        WriteOut(L"null");
        return;
    }
    static const wchar_t kHex[] = L"0123456789abcdef";
    wchar_t piece[kChunkChars] = L"\"";
    for (const wchar_t *p = text; *p; p++) {
        // A surrogate pair goes into one piece, so it is converted whole.
        wchar_t one[kJsonCharSize] = {*p, 0};
        if (*p >= 0xD800 && *p <= 0xDBFF && p[1] >= 0xDC00 && p[1] <= 0xDFFF) {
            one[1] = *++p;
        } else if (*p == L'"' || *p == L'\\') {
            one[0] = L'\\';
            one[1] = *p;
        } else if (*p < 0x20) {
            const wchar_t escaped[] = {L'\\',         L'u', L'0', L'0', kHex[(*p >> 4) & 15],
                                       kHex[*p & 15], 0};
            CopyText(one, kJsonCharSize, escaped);
        }
        Collect(piece, one);
    }
    Collect(piece, L"\"");
    WriteOut(piece);
}

void WriteJsonField(const wchar_t *name, const wchar_t *value, int first)
{
    if (!first)
        WriteOut(L",");
    WriteJsonString(name);
    WriteOut(L":");
    WriteJsonString(value);
}

void WriteJsonBool(const wchar_t *name, int value, int first)
{
    if (!first)
        WriteOut(L",");
    WriteJsonString(name);
    WriteOut(value ? L":true" : L":false");
}
