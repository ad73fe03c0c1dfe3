// The save command end to end: refusals, the real folder browser, the saved bytes, and write faults.
#include <gtest/gtest.h>
#include <shlobj.h>
#include <wininet.h>

#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/texts.h"
#include "imaging/image.h"
#include "tests/ui/driver.h"

namespace {

using Bytes = std::vector<unsigned char>;
using Chooser = std::function<void(HWND browser)>;

const std::string fileName = texts::fileSuffix + 1;  // without the leading backslash

std::optional<Bytes> readFile(const std::string& path) {
  HANDLE f = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return std::nullopt;
  Bytes all;
  unsigned char buf[65536];
  DWORD got = 0;
  while (ReadFile(f, buf, sizeof buf, &got, nullptr) && got) all.insert(all.end(), buf, buf + got);
  CloseHandle(f);
  return all;
}

bool writeFile(const std::string& path, const Bytes& data) {
  HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  DWORD wrote = 0;
  bool ok = WriteFile(f, data.data(), static_cast<DWORD>(data.size()), &wrote, nullptr) && wrote == data.size();
  CloseHandle(f);
  return ok;
}

bool exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void removeFile(const std::string& path) {
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  DeleteFileA(path.c_str());
}

// The names a folder holds, without "." and "..".
std::vector<std::string> namesIn(const std::string& folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    std::string name = found.cFileName;
    if (name != "." && name != "..") names.push_back(name);
  } while (FindNextFileA(search, &found));
  FindClose(search);
  return names;
}

// An empty folder of that path; the files a previous run left in it go.
void freshFolder(const std::string& folder) {
  for (const std::string& name : namesIn(folder)) removeFile(folder + "\\" + name);
  CreateDirectoryA(folder.c_str(), nullptr);
}

std::string desktop() {
  char path[MAX_PATH] = "";
  SHGetFolderPathA(nullptr, CSIDL_DESKTOPDIRECTORY, nullptr, SHGFP_TYPE_CURRENT, path);
  return path;
}

// The test's own folders sit on the Desktop, the root of the browser's tree.
const char workFolderName[] = "save-tests";
std::string workFolder(const std::string& name) {
  CreateDirectoryA((desktop() + "\\" + workFolderName).c_str(), nullptr);
  std::string folder = desktop() + "\\" + workFolderName + "\\" + name;
  freshFolder(folder);
  return folder;
}
std::vector<std::string> treePathOfWorkFolder(const std::string& name) { return {workFolderName, name}; }

std::string smallDisk() {
  const char* unixPath = std::getenv("PORVANTA_SMALL_DISK");
  return unixPath ? unixPath : "";
}

// What the service sends for a request, fetched again by the test: the service answers alike each time.
Bytes fetch(const std::string& url) {
  Bytes body;
  HINTERNET net = InternetOpenA("save-test", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
  HINTERNET request =
      net ? InternetOpenUrlA(net, url.c_str(), nullptr, 0, INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0)
          : nullptr;
  unsigned char buf[8192];
  DWORD got = 0;
  while (request && InternetReadFile(request, buf, sizeof buf, &got) && got) body.insert(body.end(), buf, buf + got);
  if (request) InternetCloseHandle(request);
  if (net) InternetCloseHandle(net);
  return body;
}

// The view's pixels when it holds these bytes: the image from the top-left corner over the button
// face, or the face alone for no bytes; nothing when the bytes are no image.
std::vector<std::uint32_t> viewOf(const Bytes& encoded, int width, int height) {
  std::uint32_t face = GetSysColor(COLOR_BTNFACE);
  std::uint32_t faceRgb = ((face & 0xFF) << 16) | (face & 0xFF00) | ((face >> 16) & 0xFF);
  std::vector<std::uint32_t> view(static_cast<size_t>(width) * height, faceRgb);
  if (encoded.empty()) return view;
  std::optional<Bitmap> image = decodeImage(encoded.data(), encoded.size());
  if (!image) return {};
  blendOver(*image, face & 0xFF, (face >> 8) & 0xFF, (face >> 16) & 0xFF);
  for (int y = 0; y < height && y < image->height; ++y)
    for (int x = 0; x < width && x < image->width; ++x)
      view[static_cast<size_t>(y) * width + x] = image->pixels[static_cast<size_t>(y) * image->width + x] & 0xFFFFFF;
  return view;
}

Chooser chooseFolder(std::vector<std::string> path, std::function<void()> beforeOk = {}) {
  return [path, beforeOk](HWND browser) {
    if (!ui::selectTreePath(browser, path)) {
      ADD_FAILURE() << "the folder is not in the browser's tree";
      ui::pressCancel(browser);
      return;
    }
    if (beforeOk) beforeOk();
    ui::pressOk(browser);
  };
}
const Chooser keepTheFirstSelection = [](HWND browser) { ui::pressOk(browser); };
const Chooser cancel = [](HWND browser) { ui::pressCancel(browser); };

class SaveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    removeStrayFiles();
    app_ = std::make_unique<ui::App>(ui::App::launch());
    ASSERT_TRUE(app_->running());
    window_ = app_->waitForWindow();
    ASSERT_NE(window_, nullptr);
    kids_ = ui::children(window_);
    ASSERT_EQ(kids_.size(), 8u);
    ASSERT_TRUE(ui::pollUntil([&] { return ui::focusOf(window_) == kids_[2]; }));
  }
  void TearDown() override {
    // A test that failed with a dialog still open leaves the process to App's destructor.
    if (app_ && !app_->findTopLevel("#32770") && IsWindow(window_)) {
      PostMessageA(window_, WM_CLOSE, 0, 0);
      EXPECT_EQ(app_->waitForExit(), 0);
    }
    app_.reset();
    removeStrayFiles();
  }
  // Where a save lands when the browser yields the Desktop or a drive root.
  static void removeStrayFiles() {
    removeFile(desktop() + "\\" + fileName);
    removeFile("C:\\" + fileName);
  }

  // Types the fields, clicks "生成", waits until the service has logged the request and the view shows
  // the answer, and yields that answer. The program resolves the service host once per process, so a
  // test keeps to one route.
  Bytes generate(const char* format, const char* password = "secret1") {
    size_t before = ui::serviceLog(format).size();
    ui::setText(kids_[2], "home");
    ui::setText(kids_[4], password);
    ui::click(kids_[5]);
    if (!ui::pollUntil([&] { return ui::serviceLog(format).size() > before; })) {
      ADD_FAILURE() << "no request reached the " << format << " service";
      return {};
    }
    std::string line = ui::serviceLog(format)[before];
    std::string target = line.substr(4, line.find(" HTTP/") - 4);  // after "GET "
    Bytes served = fetch(PORVANTA_SERVICE_URL + target);
    EXPECT_FALSE(served.empty());
    ui::Capture shot;
    EXPECT_TRUE(ui::pollUntil([&] {
      shot = ui::capture(kids_[7]);
      return shot.pixels == viewOf(served, shot.width, shot.height);
    })) << "the view does not show the service's answer";
    return served;
  }

  // Clicks "保存", lets choose work the folder browser, and yields the notice that follows.
  std::string save(const Chooser& choose) {
    ui::click(kids_[6]);
    HWND browser = ui::waitForFolderBrowser(*app_);
    if (!browser) {
      ADD_FAILURE() << "no folder browser";
      return takeNotice();
    }
    EXPECT_FALSE(IsWindowEnabled(window_)) << "the main window takes input under the browser";
    // The program gives the browser no title of its own.
    EXPECT_EQ(ui::windowText(GetDlgItem(browser, 14146)), "");
    choose(browser);
    EXPECT_TRUE(ui::pollUntil([&] { return !IsWindow(browser); }));
    std::string notice = takeNotice();
    EXPECT_TRUE(ui::pollUntil([&] { return IsWindowEnabled(window_) != 0; }));
    return notice;
  }

  std::string takeNotice() {
    HWND box = ui::waitForNotice(*app_);
    if (!box) {
      ADD_FAILURE() << "no notice";
      return {};
    }
    std::string text = ui::noticeText(box);
    ui::closeNotice(box);
    EXPECT_TRUE(ui::pollUntil([&] { return !IsWindow(box); }));
    return text;
  }

  // A refused save shows its notice and no folder browser. The second click's notice comes only
  // once the first save has ended, so a browser opened after the first notice would be seen.
  void expectRefusal() {
    for (int click = 0; click < 2; ++click) {
      ui::click(kids_[6]);
      EXPECT_EQ(takeNotice(), texts::notGenerated);
    }
    EXPECT_EQ(ui::findFolderBrowser(*app_), nullptr);
  }

  std::unique_ptr<ui::App> app_;
  HWND window_ = nullptr;
  std::vector<HWND> kids_;
};

TEST_F(SaveTest, RefusesBeforeAnyGeneration) {
  expectRefusal();
  ui::setText(kids_[2], "home");
  ui::setText(kids_[4], "secret1");
  expectRefusal();
}

TEST_F(SaveTest, RefusesAfterAFailedDownload) {
  ui::ServiceRoute nobodyListens("127.0.0.9");
  ui::setText(kids_[2], "home");
  ui::setText(kids_[4], "secret1");
  ui::click(kids_[5]);
  ASSERT_TRUE(ui::pollUntil([&] {
    ui::Capture shot = ui::capture(kids_[7]);
    return shot.pixels == viewOf({}, shot.width, shot.height);
  })) << "the view still shows an image";
  expectRefusal();
}

struct ServedCase {
  const char* format;
  const char* route;
};

class SaveServedTest : public SaveTest, public ::testing::WithParamInterface<ServedCase> {};

TEST_P(SaveServedTest, WritesTheServedBytesIntoTheChosenFolder) {
  ui::ServiceRoute route(GetParam().route);
  Bytes served = generate(GetParam().format);
  ASSERT_FALSE(served.empty());
  std::string folder = workFolder(std::string("served-") + GetParam().format);
  EXPECT_EQ(save(chooseFolder(treePathOfWorkFolder(std::string("served-") + GetParam().format))), texts::saved);
  EXPECT_EQ(readFile(folder + "\\" + fileName), served);
  EXPECT_EQ(namesIn(folder), std::vector<std::string>{fileName});
}

TEST_P(SaveServedTest, OkWithNoOtherSelectionWritesOntoTheDesktop) {
  ui::ServiceRoute route(GetParam().route);
  Bytes served = generate(GetParam().format);
  EXPECT_EQ(save(keepTheFirstSelection), texts::saved);
  EXPECT_EQ(readFile(desktop() + "\\" + fileName), served);
}

INSTANTIATE_TEST_SUITE_P(Formats, SaveServedTest,
                         ::testing::Values(ServedCase{"png", "127.0.0.1"}, ServedCase{"jpeg", "127.0.0.2"}),
                         [](const auto& info) { return std::string(info.param.format); });

// Each save asks for the folder afresh and writes the image shown at that moment, replacing the whole
// file: a larger older file first, then the larger image of a longer password with a smaller one.
TEST_F(SaveTest, SavingAgainAsksAgainAndReplacesTheFileWhole) {
  std::string folder = workFolder("again");
  std::string target = folder + "\\" + fileName;
  ASSERT_TRUE(writeFile(target, Bytes(64 * 1024, 0xAB)));
  Bytes larger = generate("png", "a much longer password that needs a larger QR code, 0123456789");
  EXPECT_EQ(save(chooseFolder(treePathOfWorkFolder("again"))), texts::saved);
  EXPECT_EQ(readFile(target), larger);
  Bytes smaller = generate("png", "pw");
  ASSERT_LT(smaller.size(), larger.size());
  EXPECT_EQ(save(chooseFolder(treePathOfWorkFolder("again"))), texts::saved);
  EXPECT_EQ(readFile(target), smaller);
  EXPECT_EQ(namesIn(folder), std::vector<std::string>{fileName});
}

TEST_F(SaveTest, SavesIntoADriveRoot) {
  Bytes served = generate("png");
  EXPECT_EQ(save(chooseFolder({"我的电脑", "C:"})), texts::saved);
  // Seen from the Unix side: the prefix's drive_c, not some other folder that C: might name.
  const char* prefix = std::getenv("WINEPREFIX");
  ASSERT_NE(prefix, nullptr);
  EXPECT_EQ(readFile(ui::winPath(std::string(prefix) + "/drive_c/") + fileName), served);
}

struct NoFolderCase {
  const char* name;
  Chooser choose;
};

class SaveNoFolderTest : public SaveTest, public ::testing::WithParamInterface<NoFolderCase> {};

TEST_P(SaveNoFolderTest, SavesNothing) {
  generate("png");
  EXPECT_EQ(save(GetParam().choose), texts::noFolder);
  char current[MAX_PATH] = "";
  GetCurrentDirectoryA(MAX_PATH, current);
  // The Desktop the browser starts on, a drive root, the current drive's root (where "\WiFi二维码.jpg"
  // alone would go) and the program's current folder.
  for (const std::string& folder : {desktop(), std::string("C:"), std::string(""), std::string(current)})
    EXPECT_FALSE(exists(folder + "\\" + fileName)) << folder;
}

INSTANTIATE_TEST_SUITE_P(Choices, SaveNoFolderTest,
                         ::testing::Values(NoFolderCase{"Cancel", cancel},
                                           NoFolderCase{"MyComputer", chooseFolder({"我的电脑"})},
                                           NoFolderCase{"ControlPanel", chooseFolder({"我的电脑", "控制面板"})}),
                         [](const auto& info) { return std::string(info.param.name); });

// A write fault set up around an older file at the target; the save must leave that file as it was.
struct FaultScene {
  std::string folder;                    // the folder chosen in the browser
  std::string target;                    // the older file, where the save aims
  std::string olderAt;                   // where the older file is when the save has ended
  HANDLE held = INVALID_HANDLE_VALUE;
};

struct WriteFault {
  const char* name;
  bool onSmallDisk;
  void (*arm)(FaultScene&);            // before "保存"
  void (*whileChoosing)(FaultScene&);  // the folder is selected, OK not yet pressed
  void (*disarm)(FaultScene&);         // after the save, before the files are looked at
};

void nothing(FaultScene&) {}
void setAttribute(FaultScene& s, DWORD attribute) {
  ASSERT_TRUE(SetFileAttributesA(s.target.c_str(), attribute));
  ASSERT_EQ(GetFileAttributesA(s.target.c_str()) & attribute, attribute) << "the file system keeps no such attribute";
}

const WriteFault writeFaults[] = {
    {"ReadOnly", false, [](FaultScene& s) { setAttribute(s, FILE_ATTRIBUTE_READONLY); }, nothing, nothing},
    {"Hidden", false, [](FaultScene& s) { setAttribute(s, FILE_ATTRIBUTE_HIDDEN); }, nothing, nothing},
    {"HeldOpenWithoutSharing", false,
     [](FaultScene& s) {
       s.held = CreateFileA(s.target.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
       ASSERT_NE(s.held, INVALID_HANDLE_VALUE);
     },
     nothing, [](FaultScene& s) { CloseHandle(s.held); }},
    {"FolderRemovedAfterChoosing", false, nothing,
     [](FaultScene& s) {
       // Moved away rather than deleted, so the older file can still be looked at.
       std::string away = s.folder + "-gone";
       ASSERT_TRUE(MoveFileA(s.folder.c_str(), away.c_str()));
       s.olderAt = away + "\\" + fileName;
     },
     nothing},
    {"DiskFull", true,
     [](FaultScene& s) {
       std::string filler = s.folder + "\\filler";
       HANDLE f = CreateFileA(filler.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
       ASSERT_NE(f, INVALID_HANDLE_VALUE);
       Bytes chunk(4096, 0x5A);
       DWORD wrote = 0;
       for (DWORD size : {4096u, 1u})
         while (WriteFile(f, chunk.data(), size, &wrote, nullptr) && wrote == size) {}
       CloseHandle(f);
     },
     nothing, [](FaultScene& s) { removeFile(s.folder + "\\filler"); }},
};

class SaveWriteFaultTest : public SaveTest, public ::testing::WithParamInterface<WriteFault> {};

TEST_P(SaveWriteFaultTest, FailsAndLeavesTheOlderFileAsItWas) {
  const WriteFault& fault = GetParam();
  FaultScene scene;
  std::vector<std::string> treePath;
  if (fault.onSmallDisk) {
    ASSERT_FALSE(smallDisk().empty()) << "run inside scripts/sandbox";
    scene.folder = ui::winPath(smallDisk());
    freshFolder(scene.folder);
    treePath = ui::treePathOfUnixFolder(smallDisk());
  } else {
    std::string name = std::string("fault-") + fault.name;
    std::string gone = desktop() + "\\" + workFolderName + "\\" + name + "-gone";
    freshFolder(gone);
    RemoveDirectoryA(gone.c_str());
    scene.folder = workFolder(name);
    treePath = treePathOfWorkFolder(name);
  }
  scene.target = scene.olderAt = scene.folder + "\\" + fileName;
  Bytes older(3000);
  for (size_t i = 0; i < older.size(); ++i) older[i] = static_cast<unsigned char>(i * 7 + 3);
  ASSERT_TRUE(writeFile(scene.target, older));
  Bytes served = generate("png");
  fault.arm(scene);
  if (HasFatalFailure()) return;

  EXPECT_EQ(save(chooseFolder(treePath, [&] { fault.whileChoosing(scene); })), texts::writeFailed);
  fault.disarm(scene);

  EXPECT_EQ(readFile(scene.olderAt), older);
  EXPECT_EQ(namesIn(scene.olderAt.substr(0, scene.olderAt.rfind('\\'))), std::vector<std::string>{fileName})
      << "a temporary file was left behind";
  if (scene.olderAt != scene.target) {
    EXPECT_FALSE(exists(scene.folder)) << "the removed folder came back";
  }
  if (fault.onSmallDisk) removeFile(scene.target);
}

INSTANTIATE_TEST_SUITE_P(Faults, SaveWriteFaultTest, ::testing::ValuesIn(writeFaults),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
