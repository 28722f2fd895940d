// The resident memory of the calling process, for the measuring tools (never
// used by the library).
#pragma once
#include <cstdint>

namespace portrelay::platform {

// Bytes of the process's memory that are resident (POSIX: the resident set;
// Windows: the working set), or 0 when it cannot be read.
uint64_t residentBytes();

}  // namespace portrelay::platform
