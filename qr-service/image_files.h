// Writes a grid of dark and light modules as a grey PNG or JPEG file in memory.
#pragma once

#include <string>
#include <vector>

namespace qrservice {

struct ModuleGrid {
  int modules = 0;                  // the grid is modules x modules
  int scale = 1;                    // pixels per module
  std::vector<unsigned char> dark;  // row by row, nonzero for a dark module
};

// Both return an empty string if the library reports an error.
std::string writePng(const ModuleGrid& grid);
std::string writeJpeg(const ModuleGrid& grid, int quality);

}  // namespace qrservice
