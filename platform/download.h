// Downloading a URL over WinINet, synchronously on the calling thread.
#pragma once

#include "core/text.h"

// The response body of a GET of the URL, whatever its status; the bytes that arrived before a
// failure in mid-body; or the empty Bytes when nothing came (or more than core/http.h's bound).
// Shows nothing and lets no error escape. One root handle serves every download and stays open
// until the program ends.
Bytes downloadBytes(const Text& url);
