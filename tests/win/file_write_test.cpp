// writeBytes: the file ends up holding exactly the data, or the old file stays exactly as it was.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "core/texts.h"
#include "platform/file_write.h"
#include "platform/handles.h"

namespace {

std::string env(const char* name) {
  char value[MAX_PATH] = "";
  GetEnvironmentVariableA(name, value, sizeof value);
  return value;
}

Bytes readFile(const std::string& path) {
  UniqueFile f(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, 0, nullptr));
  Bytes data;
  if (!f) return data;
  unsigned char buf[4096];
  DWORD got = 0;
  while (ReadFile(f.get(), buf, sizeof buf, &got, nullptr) && got) data.insert(data.end(), buf, buf + got);
  return data;
}

bool writeFile(const std::string& path, const Bytes& data) {
  UniqueFile f(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD wrote = 0;
  return f && WriteFile(f.get(), data.data(), static_cast<DWORD>(data.size()), &wrote, nullptr);
}

Bytes bytesOf(const std::string& s) { return Bytes(s.begin(), s.end()); }

// The names in a folder, but for . and ..
std::vector<std::string> listFolder(const std::string& folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA found;
  HANDLE h = FindFirstFileA((folder + "\\*").c_str(), &found);
  if (h == INVALID_HANDLE_VALUE) return names;
  do {
    std::string n = found.cFileName;
    if (n != "." && n != "..") names.push_back(n);
  } while (FindNextFileA(h, &found));
  FindClose(h);
  return names;
}

class WriteBytesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    folder_ = std::string(temp) + "porvanta-write-" + std::to_string(GetCurrentProcessId()) + "-" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name();
    CreateDirectoryA(folder_.c_str(), nullptr);
    target_ = folder_ + texts::fileSuffix;
  }
  void TearDown() override {
    for (const std::string& n : listFolder(folder_)) {
      std::string p = folder_ + "\\" + n;
      SetFileAttributesA(p.c_str(), FILE_ATTRIBUTE_NORMAL);
      DeleteFileA(p.c_str());
    }
    RemoveDirectoryA(folder_.c_str());
  }
  std::string folder_, target_;
};

TEST_F(WriteBytesTest, CreatesTheFileWithExactlyTheBytes) {
  Bytes data;
  for (int i = 0; i < 70000; ++i) data.push_back(static_cast<unsigned char>(i * 31));
  ASSERT_TRUE(writeBytes(Text(target_), data));
  EXPECT_EQ(readFile(target_), data);
  EXPECT_EQ(listFolder(folder_), std::vector<std::string>{texts::fileSuffix + 1});
}

TEST_F(WriteBytesTest, ReplacesALongerFileWhole) {
  ASSERT_TRUE(writeFile(target_, Bytes(5000, 0xAB)));
  ASSERT_TRUE(writeBytes(Text(target_), bytesOf("short")));
  EXPECT_EQ(readFile(target_), bytesOf("short"));
  EXPECT_EQ(listFolder(folder_).size(), 1u);
}

TEST_F(WriteBytesTest, EmptyDataGivesAnEmptyFile) {
  ASSERT_TRUE(writeBytes(Text(target_), Bytes()));
  EXPECT_TRUE(readFile(target_).empty());
  EXPECT_EQ(GetFileAttributesA(target_.c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);
}

TEST_F(WriteBytesTest, EmptyPathTouchesNothing) { EXPECT_FALSE(writeBytes(Text(), bytesOf("x"))); }

TEST_F(WriteBytesTest, DoubledBackslashAfterADriveRootStillLandsInTheRoot) {
  // A drive root comes back from the folder browser as "C:\", so the target reads "C:\\WiFi二维码.jpg".
  std::string target = std::string("C:\\") + texts::fileSuffix;
  std::string landed = std::string("C:") + texts::fileSuffix;
  DeleteFileA(landed.c_str());
  ASSERT_TRUE(writeBytes(Text(target), bytesOf("root")));
  EXPECT_EQ(readFile(landed), bytesOf("root"));
  DeleteFileA(landed.c_str());
}

TEST_F(WriteBytesTest, FailuresLeaveTheOldFileExactlyAsItWasAndNoTemporaryFile) {
  const Bytes old = bytesOf("the older QR image, to be kept");
  struct Fault {
    const char* what;
    DWORD attributes;  // set on the old file before the write
    bool holdOpen;
  } faults[] = {
      {"read-only", FILE_ATTRIBUTE_READONLY, false},
      {"hidden", FILE_ATTRIBUTE_HIDDEN, false},
      {"system", FILE_ATTRIBUTE_SYSTEM, false},
      {"held open without sharing", FILE_ATTRIBUTE_NORMAL, true},
  };
  for (const Fault& f : faults) {
    SCOPED_TRACE(f.what);
    SetFileAttributesA(target_.c_str(), FILE_ATTRIBUTE_NORMAL);
    ASSERT_TRUE(writeFile(target_, old));
    SetFileAttributesA(target_.c_str(), f.attributes);
    UniqueFile holder;
    if (f.holdOpen)
      holder.reset(CreateFileA(target_.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_FALSE(writeBytes(Text(target_), bytesOf("new")));
    holder.reset();
    EXPECT_EQ(readFile(target_), old);
    const DWORD plain = FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NORMAL;
    EXPECT_EQ(GetFileAttributesA(target_.c_str()) & ~plain, f.attributes & ~plain);
    EXPECT_EQ(listFolder(folder_).size(), 1u) << "a temporary file was left behind";
  }
}

TEST_F(WriteBytesTest, FolderRemovedBeforeTheWriteFails) {
  std::string gone = folder_ + "\\gone";
  CreateDirectoryA(gone.c_str(), nullptr);
  RemoveDirectoryA(gone.c_str());
  EXPECT_FALSE(writeBytes(Text(gone + texts::fileSuffix), bytesOf("x")));
}

TEST(WriteBytesFullDisk, KeepsTheOldFileAndLeavesNoPartialFile) {
  std::string disk = env("PORVANTA_SMALL_DISK");
  ASSERT_FALSE(disk.empty()) << "run inside scripts/sandbox";
  std::string folder = "Z:" + disk;
  for (char& c : folder)
    if (c == '/') c = '\\';
  std::string target = folder + texts::fileSuffix;
  std::string filler = folder + "\\filler";
  const Bytes old = bytesOf("old image that must survive");
  ASSERT_TRUE(writeFile(target, old));
  // Fill the disk until it is full, then free a little: far less than the new image needs.
  {
    UniqueFile f(CreateFileA(filler.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    ASSERT_TRUE(f);
    Bytes block(4096, 0);
    DWORD wrote = 0;
    while (WriteFile(f.get(), block.data(), 4096, &wrote, nullptr) && wrote == 4096) {
    }
  }
  EXPECT_FALSE(writeBytes(Text(target), Bytes(64 * 1024, 0x5A)));
  EXPECT_EQ(readFile(target), old);
  std::vector<std::string> left = listFolder(folder);
  EXPECT_EQ(left.size(), 2u) << "a temporary file was left behind";
  DeleteFileA(filler.c_str());
  DeleteFileA(target.c_str());
}

}  // namespace
