// The Wi-Fi network payload a phone reads from the QR code, and the request URL that carries it.
#pragma once

#include "core/text.h"

// "WIFI:T:WPA;P:" + password + ";S:" + name + ";", each field already percent-encoded and escaped.
Text composePayload(const Text& encodedPassword, const Text& encodedName);

// The service's scheme and host, then "/api.php?&w=200&text=", then the payload unchanged.
Text composeRequestUrl(const Text& serviceBase, const Text& payload);

// Escapes a percent-encoded field for the Wi-Fi format: a backslash before each \ ; , : and ".
// Phones read ";" as the end of a field and ":" as the start of one, so without the escape a
// password holding them joins no network. The field is escaped in its encoded form, where it is
// plain ASCII and each of these characters stands alone as %5C %3B %2C %3A %22: bytewise escaping
// of the code page 936 text could split a double-byte character whose second byte is 0x5C.
Text escapeEncodedWifiField(const Text& encoded);
