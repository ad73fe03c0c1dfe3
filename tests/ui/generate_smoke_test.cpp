// A first click on "生成" against the real service: the request it sends and the image it shows.
#include <gtest/gtest.h>

#include "tests/ui/driver.h"

namespace {

TEST(GenerateSmoke, ClickSendsTheRequestAndShowsTheImage) {
  for (const char* format : {"png", "jpeg"}) {
    SCOPED_TRACE(format);
    ui::ServiceRoute route(std::string(format) == "png" ? "127.0.0.1" : "127.0.0.2");
    size_t before = ui::serviceLog(format).size();
    ui::App app = ui::App::launch();
    HWND w = app.waitForWindow();
    ASSERT_NE(w, nullptr);
    std::vector<HWND> kids = ui::children(w);
    ui::setText(kids[2], "home");
    ui::setText(kids[4], "a;b#c");
    ui::click(kids[5]);
    ASSERT_TRUE(ui::pollUntil([&] { return ui::serviceLog(format).size() > before; }));
    std::string line = ui::serviceLog(format).back();
    EXPECT_EQ(line.substr(0, line.find(" HTTP/1.0")), "GET /api.php?&w=200&text=WIFI:T:WPA;P:a%5C%3Bb%23c;S:home;")
        << line;
    PostMessageA(w, WM_CLOSE, 0, 0);
    EXPECT_EQ(app.waitForExit(), 0);
  }
}

}  // namespace
