// Performance counter and monotonic sleeps.
#pragma once
#include <cstdint>

namespace portrelay::platform {

// High-resolution monotonic counter (QueryPerformanceCounter / CLOCK_MONOTONIC).
int64_t performanceCounter();
// Ticks of performanceCounter() per second.
int64_t performanceFrequency();

}  // namespace portrelay::platform
