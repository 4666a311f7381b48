// The bounded text helpers: a text that does not fit is refused whole.
#include "base/text.h"

#include <gtest/gtest.h>

#include <string>

TEST(ComposeText, JoinsWhatFitsExactly)
{
    wchar_t buf[8];
    EXPECT_EQ(1, ComposeText(buf, 8, {L"abc", L"", L"defg"}));
    EXPECT_STREQ(L"abcdefg", buf);
    EXPECT_EQ(0, ComposeText(buf, 8, {L"abc", L"defgh"}));
    EXPECT_STREQ(L"", buf) << "never a cut text";
    EXPECT_EQ(0, ComposeText(buf, 0, {L""}));
    EXPECT_EQ(1, ComposeText(buf, 1, {L""}));
    EXPECT_EQ(0, ComposeText(buf, 1, {L"x"}));
}

TEST(AppendText, LeavesTheTextAsItWasWhenTheTailDoesNotFit)
{
    char buf[6] = "ab";
    EXPECT_EQ(1, AppendText(buf, 6, "cde"));
    EXPECT_STREQ("abcde", buf);
    EXPECT_EQ(0, AppendText(buf, 6, "f"));
    EXPECT_STREQ("abcde", buf);
    // A buffer without a terminator is full: nothing is appended or read past it.
    char full[3] = {'x', 'y', 'z'};
    EXPECT_EQ(0, AppendText(full, 3, ""));
}

TEST(HasEnding, ComparesTheLastFourCharactersCaseSensitively)
{
    EXPECT_EQ(1, HasEnding(L"a.ocx", L".ocx"));
    EXPECT_EQ(1, HasEnding(L".ocx", L".ocx"));
    EXPECT_EQ(0, HasEnding(L"a.OCX", L".ocx"));
    EXPECT_EQ(0, HasEnding(L"ocx", L".ocx"));
    EXPECT_EQ(0, HasEnding(L"", L".ocx"));
}

TEST(FormatDecimal, WritesSignedNumbersOrNothing)
{
    char buf[12];
    EXPECT_EQ(1, FormatDecimal(buf, 12, 1765000000LL));
    EXPECT_STREQ("1765000000", buf);
    EXPECT_EQ(1, FormatDecimal(buf, 12, -2147483648LL));
    EXPECT_STREQ("-2147483648", buf);
    EXPECT_EQ(1, FormatDecimal(buf, 12, 0));
    EXPECT_STREQ("0", buf);
    EXPECT_EQ(0, FormatDecimal(buf, 3, 123));
    EXPECT_STREQ("", buf);
    char wide[24];
    EXPECT_EQ(1, FormatDecimal(wide, 24, (long long)0x8000000000000000ULL));
    EXPECT_STREQ("-9223372036854775808", wide);
}
