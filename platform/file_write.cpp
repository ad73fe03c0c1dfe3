// writeBytes: write a temporary file beside the target, flush it, then move it over the target.
#include "platform/file_write.h"

#include <windows.h>

#include <string>

#include "platform/handles.h"

namespace {

// The folder part of a path in the ANSI code page. CharNextA steps over double-byte characters,
// whose second byte may be 0x5C, the backslash.
std::string folderOf(const std::string& path) {
  const char* lastSeparator = nullptr;
  for (const char* p = path.c_str(); *p; p = CharNextA(p))
    if (*p == '\\' || *p == '/') lastSeparator = p;
  if (!lastSeparator) return ".";
  return std::string(path.c_str(), lastSeparator - path.c_str() + 1);
}

// The temporary file is removed when it goes, unless it became the target.
struct TemporaryFile {
  std::string path;
  bool kept = false;
  TemporaryFile() = default;
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;
  ~TemporaryFile() {
    if (!path.empty() && !kept) DeleteFileA(path.c_str());
  }
};

// A target the user protected, or one another program holds open, stays as it is.
bool targetMayBeReplaced(const char* path) {
  DWORD attributes = GetFileAttributesA(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) return GetLastError() == ERROR_FILE_NOT_FOUND;
  if (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DIRECTORY))
    return false;
  // Share mode 0: this open fails while any other program has the file open.
  UniqueFile probe(CreateFileA(path, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  return static_cast<bool>(probe);
}

bool writeAll(HANDLE file, const Bytes& data) {
  size_t done = 0;
  while (done < data.size()) {
    DWORD wrote = 0;
    DWORD ask = static_cast<DWORD>(data.size() - done < 0x10000000 ? data.size() - done : 0x10000000);
    if (!WriteFile(file, data.data() + done, ask, &wrote, nullptr) || wrote == 0) return false;
    done += wrote;
  }
  return true;
}

}  // namespace

bool writeBytes(const Text& path, const Bytes& data) {
  if (path.empty()) return false;
  if (!targetMayBeReplaced(path.c_str())) return false;

  TemporaryFile temporary;
  char name[MAX_PATH] = "";
  if (!GetTempFileNameA(folderOf(path.str()).c_str(), "wqr", 0, name)) return false;
  temporary.path = name;
  {
    UniqueFile file(CreateFileA(name, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file || !writeAll(file.get(), data) || !FlushFileBuffers(file.get())) return false;
    if (!CloseHandle(file.release())) return false;
  }
  if (!MoveFileExA(name, path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return false;
  temporary.kept = true;
  return true;
}
