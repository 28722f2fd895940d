// A kernel sleep to an absolute time of the performance counter, finer than
// the system's millisecond timer: clock_nanosleep on CLOCK_MONOTONIC with an
// absolute deadline (Linux), a high-resolution waitable timer (Windows 10
// 1803 and later), ntdll's relative sleep (Wine, where it is precise). Each
// paced loop owns one and uses it from its own thread.
#pragma once
#include <cstdint>

namespace portrelay::platform {

class DeadlineSleep {
 public:
  DeadlineSleep() = default;
  ~DeadlineSleep();
  DeadlineSleep(const DeadlineSleep&) = delete;
  DeadlineSleep& operator=(const DeadlineSleep&) = delete;

  // Sleeps until performanceCounter() has reached `deadline` (returns at once
  // when it has). False, without sleeping, where the system has no such
  // sleep: the caller keeps its own wait. May wake a little late, never early
  // on purpose; allocates nothing after the first call.
  bool until(int64_t deadline) noexcept;

 private:
  // Windows only (the POSIX sleep needs no state).
  [[maybe_unused]] void* timer_ = nullptr;           // the waitable timer, made on first use
  [[maybe_unused]] void* delayExecution_ = nullptr;  // under Wine: ntdll's relative sleep
  [[maybe_unused]] bool unavailable_ = false;
};

}  // namespace portrelay::platform
