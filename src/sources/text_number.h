// Numbers at the front of a game's telemetry text, without the C library's
// locale (a host that sets a comma locale must not change what we read).
#pragma once

namespace portrelay {

// The number that starts the text [begin, end), read as the C library's
// string-to-double conversion reads it: leading white space and an optional
// sign are skipped, the longest decimal number is taken, the rest ignored.
// 0 when the text holds no number there, or the number is not finite.
double leadingNumber(const char* begin, const char* end);

}  // namespace portrelay
