// Where a press on the title bar lands and what it does.
#include "native/title_bar_press_table.h"

#include <gtest/gtest.h>

TEST(TitleBarPress, ColumnsShareXEightyFiveAndUninstallWins)
{
    for (const PressRow &row : kPressTable) {
        SCOPED_TRACE(row.where);
        TitleBarPress press = PressTitleBar(row.x, row.y, row.pageBefore);
        EXPECT_EQ(row.pageAfter, press.page);
        EXPECT_EQ(row.repaints, press.repaints);
        EXPECT_EQ(row.drag ? 1 : 0, press.drag);
    }
}
