// The program's life cycle in the real window: it opens, and closing it ends the process with code 0.
#include <gtest/gtest.h>

#include "tests/ui/driver.h"

TEST(Lifecycle, WindowOpensAndCloseExitsWithZero) {
  ui::App app = ui::App::launch();
  ASSERT_TRUE(app.running());
  HWND w = app.waitForWindow();
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(ui::windowText(w), "Porvanta");
  PostMessageA(w, WM_CLOSE, 0, 0);
  EXPECT_EQ(app.waitForExit(), 0);
}
