// Performance counter and the local calendar time, and the clock the timing
// rules read: the real one in the library, a fake one advanced by tests.
#pragma once
#include <atomic>
#include <cstdint>
#include <ctime>

namespace portrelay::platform {

class DeadlineSleep;

// High-resolution monotonic counter (QueryPerformanceCounter / CLOCK_MONOTONIC).
int64_t performanceCounter();
// Ticks of performanceCounter() per second.
int64_t performanceFrequency();

// The calendar fields of `time` in the local time zone (localtime_s /
// localtime_r); all fields 0 when the conversion fails.
std::tm localTime(std::time_t time);

// Time as the pacing, fade, stall and lost-game rules see it: the counter and
// the ways a thread lets it pass. Every rule holds a reference and reads time
// only through it, so that a test can run the rule on a clock it advances
// itself. The real clock is one object without state: one indirect call per
// reading, no lock, no allocation.
class Clock {
 public:
  virtual ~Clock() = default;

  // The monotonic counter, and its ticks per second (constant).
  virtual int64_t counter() const noexcept = 0;
  virtual int64_t frequency() const noexcept = 0;
  // Sleeps at least `microseconds` (the system may round up to its timer).
  virtual void sleepMicroseconds(int64_t microseconds) const noexcept = 0;
  // DeadlineSleep::until(deadline) on `sleep`: false, without sleeping, where
  // the system has no such sleep.
  virtual bool sleepUntil(DeadlineSleep& sleep, int64_t deadline) const noexcept = 0;
  // waitOnWord: blocks while `word` holds `expected`, at most `timeoutUs`.
  virtual void waitOnWord(const std::atomic<uint32_t>& word, uint32_t expected, int64_t timeoutUs) const noexcept = 0;

  // counter() in whole milliseconds.
  int64_t milliseconds() const noexcept { return counter() / (frequency() / 1000); }
};

// The system's clock (performanceCounter and the kernel's sleeps).
const Clock& realClock() noexcept;

}  // namespace portrelay::platform
