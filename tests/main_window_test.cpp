// The main window: page state, routing, colours and drawing objects.
#include "support/test_support.h"

#include "app/app.h"

#include <gtest/gtest.h>

TEST(MainWindow, Smoke)
{
    HWND window = StartMainWindow();
    ASSERT_TRUE(IsWindow(window));
    CloseMainWindow(window);
}
