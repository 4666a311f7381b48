// Output of orvictl. Text reaches a console as Unicode and a file or pipe as
// UTF-8, so no character is lost to the console's code page.
#include "cli/cli.h"

#include "base/cabinet_report.h"
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

// Writes text with its control characters shown as '?', as the cabinet
// report shows them: a ProgID or path with CR or LF read from a planted key
// would otherwise forge lines of a deployment log. Masked a piece at a time;
// a surrogate pair is never split.
static void WriteMaskedTo(HANDLE handle, const wchar_t *text)
{
    size_t length = TextLength(text);
    while (length > 0) {
        size_t n = length > (size_t)kChunkChars - 1 ? kChunkChars - 1 : length;
        if (n < length && text[n - 1] >= 0xD800 && text[n - 1] <= 0xDBFF)
            n--;
        wchar_t piece[kChunkChars] = {};
        for (size_t i = 0; i < n; i++)
            piece[i] = text[i];
        MaskControlCharacters(piece);
        WriteTo(handle, piece);
        text += n;
        length -= n;
    }
}

static void WriteLineTo(HANDLE handle, std::initializer_list<const wchar_t *> parts)
{
    for (const wchar_t *part : parts)
        WriteMaskedTo(handle, part);
    WriteTo(handle, L"\r\n");
}

void WriteOutLine(std::initializer_list<const wchar_t *> parts)
{
    WriteLineTo(GetStdHandle(STD_OUTPUT_HANDLE), parts);
}

void WriteErrLine(std::initializer_list<const wchar_t *> parts)
{
    WriteLineTo(GetStdHandle(STD_ERROR_HANDLE), parts);
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
        } else if (*p < 0x20 || (*p >= 0xD800 && *p <= 0xDFFF)) {
            // A lone surrogate has no UTF-8 form; escaped, it decodes to the
            // very name the registry holds, so it can be handed back to info.
            wchar_t escaped[] = L"\\u0000";
            for (int i = 0; i < 4; i++)
                escaped[2 + i] = kHex[(*p >> (12 - 4 * i)) & 15];
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
