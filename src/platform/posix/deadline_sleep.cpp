#include "platform/deadline_sleep.h"

#include <errno.h>
#include <time.h>

namespace portrelay::platform {

DeadlineSleep::~DeadlineSleep() = default;

bool DeadlineSleep::until(int64_t deadline) noexcept {
  if (deadline <= 0) return true;
  // performanceCounter() is CLOCK_MONOTONIC in nanoseconds.
  timespec at{};
  at.tv_sec = static_cast<time_t>(deadline / 1000000000LL);
  at.tv_nsec = static_cast<long>(deadline % 1000000000LL);
  // Absolute: a signal that interrupts the sleep does not stretch it.
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, nullptr) == EINTR) {
  }
  return true;
}

}  // namespace portrelay::platform
