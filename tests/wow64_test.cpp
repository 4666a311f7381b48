// The real 32-bit-on-64-bit test (other test programs replace it).
#include "controls/controls.h"

#include <gtest/gtest.h>

TEST(IsWow64, NativeProcessIsNotWow64)
{
    // This test program is built for x86_64: it never runs under WOW64.
    ASSERT_EQ(sizeof(void *), 8u);
    BOOL platform = TRUE;
    ASSERT_TRUE(IsWow64Process(GetCurrentProcess(), &platform));
    EXPECT_FALSE(platform);
    EXPECT_EQ(IsWow64(), FALSE);
    // Asked afresh each time, with the same answer.
    EXPECT_EQ(IsWow64(), FALSE);
}
