// The tool's own 32-bit-on-64-bit test (other test programs may replace it
// with the double of support/wow64_column.cpp; this one links no support code).
#include "controls/controls.h"

#include <gtest/gtest.h>

TEST(IsWow64, AnswersAsThePlatformDoes)
{
    BOOL platform = FALSE;
    ASSERT_TRUE(IsWow64Process(GetCurrentProcess(), &platform));
    // The x86_64 build never runs under WOW64; the i686 build here always does
    // (the test command runs it only in a 64-bit prefix).
    EXPECT_EQ(platform, sizeof(void *) == 4 ? TRUE : FALSE);
    EXPECT_EQ(IsWow64(), platform);
    // Asked afresh each time, with the same answer.
    EXPECT_EQ(IsWow64(), platform);
}
