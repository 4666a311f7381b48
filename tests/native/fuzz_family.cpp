// Fuzzes the family text rules: the prefix test reads at most the name's
// first five bytes and agrees with a plain comparison; the GUID tail
// comparison agrees with a comparison from the 11th character on; the case
// adjustment only raises a..f at the 17th to 19th character of an "ORVI."
// ProgID's reference and never writes past the text (AddressSanitizer
// watches the exact-size buffers).
#include "fuzz_input.h"
#include "base/family_prefix.h"
#include "base/guid_text.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

static std::wstring Widen(const uint8_t *bytes, size_t n)
{
    std::wstring text;
    for (size_t i = 0; i < n; i++)
        text += (wchar_t)(bytes[i] < 0xF0 ? bytes[i] : 0x4E00 + bytes[i]);
    return text;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // Two texts: up to the first zero byte, and the rest up to the next.
    size_t a = 0;
    std::vector<char> name = TextBeforeZero(data, size, &a);
    const uint8_t *second = data + (a < size ? a + 1 : size);
    size_t rest = size - (second - data);
    size_t b = 0;
    while (b < rest && second[b])
        b++;

    bool expectPrefix = false;
    for (const char *prefix : {"ORVI.", "PDF.O", "Orvi.", "VY.Of"})
        expectPrefix = expectPrefix || (a >= 5 && memcmp(name.data(), prefix, 5) == 0);
    if (HasFamilyPrefix(name.data()) != (expectPrefix ? 1 : 0))
        abort();

    std::wstring first = Widen(data, a);
    std::wstring reference = Widen(second, b);
    std::vector<wchar_t> firstBuffer(first.c_str(), first.c_str() + a + 1);
    std::vector<wchar_t> referenceBuffer(reference.c_str(), reference.c_str() + b + 1);
    firstBuffer.shrink_to_fit();
    referenceBuffer.shrink_to_fit();
    bool expectMatch =
        a > 10 && b > 10 && first.compare(10, std::wstring::npos, reference, 10) == 0;
    if (GuidTailsMatch(firstBuffer.data(), referenceBuffer.data()) != (expectMatch ? 1 : 0) ||
        GuidTailsMatch(referenceBuffer.data(), firstBuffer.data()) != (expectMatch ? 1 : 0))
        abort();

    AdjustReferenceCase(firstBuffer.data(), referenceBuffer.data());
    if (referenceBuffer[b] != 0)
        abort();
    bool familyStem = first.compare(0, 5, L"ORVI.") == 0;
    for (size_t i = 0; i < b; i++) {
        wchar_t before = reference[i], after = referenceBuffer[i];
        if (after == before)
            continue;
        if (!familyStem || i < 16 || i > 18 || before < L'a' || before > L'f' ||
            after != before - (L'a' - L'A'))
            abort();
    }
    return 0;
}
