// Without its script control the program still starts, both buttons answer, and the name is still
// percent-encoded (in-process) instead of being left out of the QR code.
#include <gtest/gtest.h>

#include "core/texts.h"
#include "tests/support/script_control_registry.h"
#include "tests/ui/driver.h"

TEST(WithoutScriptControl, WindowWorksAndTheNameIsStillEncoded) {
  registry::ScriptControlUnregistered unregistered;
  ASSERT_TRUE(unregistered.removed());
  size_t before = ui::serviceLog("png").size();
  ui::App app = ui::App::launch();
  HWND w = app.waitForWindow();
  ASSERT_NE(w, nullptr);
  std::vector<HWND> kids = ui::children(w);

  ui::click(kids[6]);  // 保存, before any generation
  HWND notice = ui::waitForNotice(app);
  ASSERT_NE(notice, nullptr);
  EXPECT_EQ(ui::noticeText(notice), texts::notGenerated);
  ui::closeNotice(notice);
  ASSERT_TRUE(ui::pollUntil([&] { return !IsWindow(notice); }));

  ui::setText(kids[2], "我的 家");
  ui::setText(kids[4], "pw");
  ui::click(kids[5]);  // 生成
  ASSERT_TRUE(ui::pollUntil([&] { return ui::serviceLog("png").size() > before; }));
  std::string line = ui::serviceLog("png").back();
  EXPECT_EQ(line.substr(0, line.find(" HTTP/1.0")),
            "GET /api.php?&w=200&text=WIFI:T:WPA;P:pw;S:%E6%88%91%E7%9A%84%20%E5%AE%B6;")
      << line;
  PostMessageA(w, WM_CLOSE, 0, 0);
  EXPECT_EQ(app.waitForExit(), 0);
  EXPECT_TRUE(unregistered.restore());
}
