// Performance counter and the local calendar time.
#pragma once
#include <cstdint>
#include <ctime>

namespace portrelay::platform {

// High-resolution monotonic counter (QueryPerformanceCounter / CLOCK_MONOTONIC).
int64_t performanceCounter();
// Ticks of performanceCounter() per second.
int64_t performanceFrequency();

// The calendar fields of `time` in the local time zone (localtime_s /
// localtime_r); all fields 0 when the conversion fails.
std::tm localTime(std::time_t time);

}  // namespace portrelay::platform
