// Takes the script control's ProgID out of the prefix's registry for a while and always puts it back,
// for tests of the program without its script control. Windows side only.
#pragma once

#include <windows.h>

#include <string>

#include "platform/handles.h"

namespace registry {

inline constexpr char progIdKey[] = "MSScriptControl.ScriptControl";

// Wine's reg.exe with these arguments; its exit code, or -1 when it could not be run.
inline long runReg(const std::string& arguments) {
  std::string line = "reg.exe " + arguments;
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                      &process))
    return -1;
  UniqueKernelHandle processHandle(process.hProcess), threadHandle(process.hThread);
  if (WaitForSingleObject(processHandle.get(), 60000) != WAIT_OBJECT_0) return -1;
  DWORD code = 0;
  if (!GetExitCodeProcess(processHandle.get(), &code)) return -1;
  return static_cast<long>(code);
}

inline bool progIdRegistered() {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, progIdKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

// The backup stays on disk until it is restored, so a run that died half-way is healed by the next.
class ScriptControlUnregistered {
 public:
  ScriptControlUnregistered() {
    char temp[MAX_PATH] = "";
    GetTempPathA(MAX_PATH, temp);
    backup_ = std::string(temp) + "porvanta-script-control.reg";
    if (!progIdRegistered() && GetFileAttributesA(backup_.c_str()) != INVALID_FILE_ATTRIBUTES)
      runReg("import \"" + backup_ + "\"");
    removed_ = progIdRegistered() &&
               runReg(std::string("export HKCR\\") + progIdKey + " \"" + backup_ + "\" /y") == 0 &&
               runReg(std::string("delete HKCR\\") + progIdKey + " /f") == 0 && !progIdRegistered();
  }
  ScriptControlUnregistered(const ScriptControlUnregistered&) = delete;
  ScriptControlUnregistered& operator=(const ScriptControlUnregistered&) = delete;
  ~ScriptControlUnregistered() { restore(); }

  // Whether the ProgID was there and is gone now.
  bool removed() const { return removed_; }
  // Puts the ProgID back; true when it is registered again.
  bool restore() {
    if (GetFileAttributesA(backup_.c_str()) == INVALID_FILE_ATTRIBUTES) return progIdRegistered();
    if (runReg("import \"" + backup_ + "\"") != 0 || !progIdRegistered()) return false;
    DeleteFileA(backup_.c_str());
    return true;
  }

 private:
  std::string backup_;
  bool removed_ = false;
};

}  // namespace registry
