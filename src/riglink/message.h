// Messages as callers hand them over: a buffer whose first 0x0A 0x0D pair,
// with its 0x0D at index 511 or lower, ends the message.
#pragma once
#include <cstddef>
#include <cstdint>

namespace portrelay {

// Length of the message at the start of the buffer (2..512), or 0 when no
// terminator ends within the first 512 bytes. Reads no byte past the
// terminator it finds.
size_t messageLength(const uint8_t* buffer);

}  // namespace portrelay
