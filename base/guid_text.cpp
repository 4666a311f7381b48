#include "base/guid_text.h"

#include "base/text.h"

static const size_t kTailStart = 10; // index of the 11th character

int GuidTailsMatch(const wchar_t *name, const wchar_t *reference)
{
    if (TextLength(name) <= kTailStart || TextLength(reference) <= kTailStart)
        return 0;
    for (size_t i = kTailStart;; i++) {
        if (name[i] != reference[i])
            return 0;
        if (name[i] == 0)
            return 1;
    }
}

static wchar_t LowerAscii(wchar_t c)
{
    return c >= L'A' && c <= L'Z' ? (wchar_t)(c + (L'a' - L'A')) : c;
}

int GuidInOleRange(const wchar_t *text)
{
    // From the hyphen after the first group: the 10th character.
    static const size_t kOleTailStart = 9;
    static const wchar_t kOleTail[] = L"-0000-0000-c000-000000000046}";
    if (TextLength(text) <= kOleTailStart)
        return 0;
    for (size_t i = 0;; i++) {
        if (LowerAscii(text[kOleTailStart + i]) != kOleTail[i])
            return 0;
        if (kOleTail[i] == 0)
            return 1;
    }
}

struct CaseAdjustment {
    const wchar_t *stem;               // first seven characters of the ProgID
    int positions[kCasePositionsSize]; // 1-based, 0 ends the row
};

static const CaseAdjustment kCaseAdjustments[] = {
    {L"ORVI.At", {18, 19, 0, 0}},
    {L"ORVI.Se", {17, 18, 19, 0}},
    {L"ORVI.We", {17, 18, 19, 0}},
    {L"ORVI.Of", {17, 19, 0, 0}},
};
static const int kStemLength = 7;

void AdjustReferenceCase(const wchar_t *progId, wchar_t *reference)
{
    int length = (int)TextLength(reference);
    for (const CaseAdjustment &row : kCaseAdjustments) {
        if (!StartsWithChars(progId, row.stem, kStemLength))
            continue;
        for (int p : row.positions) {
            if (p == 0 || p > length)
                break;
            wchar_t c = reference[p - 1];
            // Only hex letters change: a digit stays a digit.
            if (c >= L'a' && c <= L'f')
                reference[p - 1] = (wchar_t)(c - (L'a' - L'A'));
        }
        return;
    }
}
