// Reading a response the way the download does: the chunk size from Content-Length, the body bound.
#pragma once

#include <cstddef>

// The largest body the program keeps. QR images are a few kilobytes; a body beyond this is no QR
// image and the download counts as failed rather than filling a 32-bit address space.
inline constexpr std::size_t maxBodyBytes = 8u * 1024 * 1024;

// The read chunk for a Content-Length header value (null when the header was not there): the
// value read as a decimal number (leading blanks and a sign allowed, reading stops at the first
// other character) plus 1, at most 102400, when it is above 0; 10240 otherwise.
std::size_t chunkSizeFor(const char* contentLength);
