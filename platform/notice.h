// The notice box: every message the program shows goes through it.
#pragma once

#include "core/text.h"

// A task-modal box with the caption "信息：", the message and one OK button; returns once it is closed.
void showNotice(const Text& message);
