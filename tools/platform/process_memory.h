// The resident memory and the CPU time of the calling process, for the
// measuring tools (never used by the library).
#pragma once
#include <cstdint>

namespace portrelay::platform {

// Bytes of the process's memory that are resident (POSIX: the resident set;
// Windows: the working set), or 0 when it cannot be read.
uint64_t residentBytes();

// Seconds of CPU the process's threads have used so far, user and kernel
// time together, or a negative number when it cannot be read.
double processCpuSeconds();

}  // namespace portrelay::platform
