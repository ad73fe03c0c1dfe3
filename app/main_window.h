// MainWindow: the program's only window, its eight controls, keyboard handling and event bindings.
#pragma once

#include <windows.h>

// Creates MainWindow with its controls, centred on the primary screen, and shows it; false when the
// window could not be created.
bool createMainWindow(HINSTANCE instance);

// The window's look at a key press before the focused control gets it: true when the key was
// handled here (Tab and Shift+Tab move through the tab ring) and goes no further.
bool handleKeyBeforeControl(const MSG& msg);
