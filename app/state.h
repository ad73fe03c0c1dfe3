// The program state the commands share, kept for the whole run; the exit routine releases it.
#pragma once

#include <windows.h>

#include <memory>

#include "core/text.h"
#include "encoding/script_control.h"

// 1 once a generation has been issued; never reset.
inline int generatedFlag = 0;
// The folder the latest save dialog yielded (empty when it yielded none).
inline Text chosenFolder;
// The script-control cell: allocated at start-up before the control is made, freed at the end.
inline std::unique_ptr<ScriptControl> scriptControl;
// The latest Wi-Fi payload, then the request URL made from it.
inline Text qrText;

// The main window and its controls, named as in the window layout.
struct Controls {
  HWND 标签1, 标签2, 编辑框1, 标签3, 编辑框2, 按钮1, 按钮2, 图片框1;
};
inline HWND mainWindow = nullptr;
inline Controls controls{};

// The current text of an entry field, a fresh copy in the system ANSI code page.
Text readField(HWND field);
