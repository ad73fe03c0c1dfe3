// Writing a file so that a failure never destroys the file it was to replace.
#pragma once

#include "core/text.h"

// Writes the data as the file at the path, replacing a file of that name. The bytes go to a new
// temporary file in the same folder first, are flushed, and then take the target's place in one
// step; on any failure the temporary file is removed and the target is left exactly as it was.
// An existing target that is read-only, hidden, a system file, or held open elsewhere is not
// replaced. True only when the file now holds exactly the data.
bool writeBytes(const Text& path, const Bytes& data);
