// Asking the user for a folder in the shell's folder browser.
#pragma once

#include "core/text.h"

// Shows the folder browser with the title as its instruction text, the program's windows disabled
// meanwhile; yields the chosen folder's file-system path, or the empty Text when the user cancelled
// or chose an item that has none.
Text pickFolder(const Text& title);
