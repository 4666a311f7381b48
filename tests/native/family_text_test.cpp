// The text rules of the installed-control pages: the family prefix test on
// ANSI names and the GUID comparisons of the removal passes.
#include "base/family_prefix.h"
#include "base/guid_text.h"

#include <gtest/gtest.h>

#include <string>

TEST(FamilyPrefix, ExactlyTheFirstFiveBytesDecide)
{
    EXPECT_TRUE(HasFamilyPrefix("ORVI."));
    EXPECT_TRUE(HasFamilyPrefix("ORVI.Anything"));
    EXPECT_TRUE(HasFamilyPrefix("Orvi.X"));
    EXPECT_TRUE(HasFamilyPrefix("PDF.Oanything"));
    EXPECT_TRUE(HasFamilyPrefix("VY.Of"));
    EXPECT_FALSE(HasFamilyPrefix("ORVI"));
    EXPECT_FALSE(HasFamilyPrefix("ORV"));
    EXPECT_FALSE(HasFamilyPrefix(""));
    EXPECT_FALSE(HasFamilyPrefix("orvi.x"));
    EXPECT_FALSE(HasFamilyPrefix("oRVI.x"));
    EXPECT_FALSE(HasFamilyPrefix("VY.OF"));
    EXPECT_FALSE(HasFamilyPrefix("TIF.OrviDocument"));
    EXPECT_FALSE(HasFamilyPrefix(" ORVI."));
    // A two-byte character (code page 936) among the first five bytes.
    EXPECT_FALSE(HasFamilyPrefix("ORV\xd6\xd0I."));
    EXPECT_FALSE(HasFamilyPrefix("ORVI\xd6\xd0"));
}

TEST(GuidText, TailsAreComparedFromTheEleventhCharacter)
{
    const wchar_t *ref = L"{5E6F7A8B-1111-4c2d-9E8F-00AABBCCDDEE}";
    EXPECT_TRUE(GuidTailsMatch(ref, ref));
    EXPECT_TRUE(GuidTailsMatch(L"{00000000-1111-4c2d-9E8F-00AABBCCDDEE}", ref));
    EXPECT_TRUE(GuidTailsMatch(L"XXXXXXXXXX1111-4c2d-9E8F-00AABBCCDDEE}", ref));
    EXPECT_FALSE(GuidTailsMatch(L"{5E6F7A8B-1111-4C2D-9E8F-00AABBCCDDEE}", ref));
    EXPECT_FALSE(GuidTailsMatch(L"{5E6F7A8B-1111-4c2d-9E8F-00AABBCCDDEE}x", ref));
    EXPECT_FALSE(GuidTailsMatch(L"{5E6F7A8B-1111-4c2d-9E8F-00AABBCCDDE}", ref));
    // Ten characters or fewer never match, not even each other.
    EXPECT_FALSE(GuidTailsMatch(L"{5E6F7A8B-", L"{5E6F7A8B-"));
    EXPECT_FALSE(GuidTailsMatch(L"", L""));
    EXPECT_FALSE(GuidTailsMatch(ref, L""));
    EXPECT_TRUE(GuidTailsMatch(L"0123456789A", L"xxxxxxxxxxA"));
}

TEST(GuidText, OleRangeInAnyLetterCase)
{
    EXPECT_TRUE(GuidInOleRange(L"{00020430-0000-0000-C000-000000000046}"));
    EXPECT_TRUE(GuidInOleRange(L"{00000000-0000-0000-c000-000000000046}"));
    EXPECT_FALSE(GuidInOleRange(L"{00020430-0000-0000-C000-000000000047}"));
    EXPECT_FALSE(GuidInOleRange(L"{00020430-0000-0000-C000-000000000046}x"));
    EXPECT_FALSE(GuidInOleRange(L"{0002043-0000-0000-C000-000000000046}"));
    EXPECT_FALSE(GuidInOleRange(L""));
}

static std::wstring Adjusted(const wchar_t *progId, const wchar_t *reference)
{
    wchar_t text[64] = {};
    for (int i = 0; reference[i]; i++)
        text[i] = reference[i];
    AdjustReferenceCase(progId, text);
    return text;
}

TEST(GuidText, CaseAdjustmentRaisesHexLettersOfTheThirdGroup)
{
    const wchar_t *ref = L"{12345678-abcd-cdef-abcd-abcdefabcdef}";
    EXPECT_EQ(Adjusted(L"ORVI.AtCtl", ref), L"{12345678-abcd-cdEF-abcd-abcdefabcdef}");
    EXPECT_EQ(Adjusted(L"ORVI.SealServer", ref), L"{12345678-abcd-cDEF-abcd-abcdefabcdef}");
    EXPECT_EQ(Adjusted(L"ORVI.Web", ref), L"{12345678-abcd-cDEF-abcd-abcdefabcdef}");
    EXPECT_EQ(Adjusted(L"ORVI.Office", ref), L"{12345678-abcd-cDeF-abcd-abcdefabcdef}");
    // The stem is compared exactly and case-sensitively.
    EXPECT_EQ(Adjusted(L"ORVI.at", ref), ref);
    EXPECT_EQ(Adjusted(L"Orvi.At", ref), ref);
    EXPECT_EQ(Adjusted(L"ORVI.A", ref), ref);
    EXPECT_EQ(Adjusted(L"ORVI.Xy", ref), ref);
}

TEST(GuidText, CaseAdjustmentLeavesDigitsAndOtherCharacters)
{
    EXPECT_EQ(Adjusted(L"ORVI.Se", L"{12345678-1234-4a1c-1234-123456789012}"),
              L"{12345678-1234-4A1C-1234-123456789012}");
    EXPECT_EQ(Adjusted(L"ORVI.Se", L"{12345678-1234-4109-1234-123456789012}"),
              L"{12345678-1234-4109-1234-123456789012}");
    EXPECT_EQ(Adjusted(L"ORVI.Se", L"{12345678-1234-4gAz-1234-123456789012}"),
              L"{12345678-1234-4gAz-1234-123456789012}");
    // Positions beyond the end stay untouched; nothing is written past it.
    EXPECT_EQ(Adjusted(L"ORVI.Se", L"{12345678-1234-4ab"), L"{12345678-1234-4AB");
    EXPECT_EQ(Adjusted(L"ORVI.Se", L""), L"");
}
