// Performance-counter interval timer and 2-ms pacer, shared by the engine loop,
// every telemetry reader, the relay loop and the multicast sender.
#pragma once
#include <atomic>
#include <cstdint>

#include "common/sleep_margin.h"
#include "platform/clock.h"
#include "platform/deadline_sleep.h"

namespace portrelay {

class CycleTimer {
 public:
  static constexpr double kPeriodUs = 2000.0;
  static constexpr double kMaxCarryUs = 10 * kPeriodUs;

  // Reads and waits on `clock` (the system's unless a test gives its own).
  explicit CycleTimer(const platform::Clock& clock = platform::realClock());

  // now = counter; lastInterval = now - mark; running average over the window;
  // mark = a fresh counter reading. A new timer's mark is the counter's origin.
  // A cleared timer has no mark: it only takes one, and has no complete
  // interval yet, so lastInterval stays 0.
  void markInterval();
  // Forgets the start mark, the last interval and the coarse carry: until the
  // next markInterval the timer reports 0 ms. Used when a paced loop stops
  // cycling (paused, searching), so that the stretch in between never counts
  // as one long cycle.
  void clear();
  // clear, then a fresh start mark: a new run of cycles begins now.
  void restart();
  bool hasMark() const { return hasMark_; }
  // Waits until more than 2000 µs have passed since mark, then markInterval.
  // Sleeps in the kernel until shortly before that (by the learnt margin, see
  // SleepMargin) and spins the rest on the counter. Where the system has no
  // sleep finer than its millisecond timer, or the margin leaves too little
  // to sleep, it sleeps at most once for 1 ms (only when less than 1000 µs
  // have passed) and spins the rest.
  void preciseWait();
  // Sleeps only, carrying the timing error into the next cycle. The carry is
  // bounded (kMaxCarryUs each way): a stall longer than that is not made up
  // by a burst of short cycles.
  void coarseWait();
  // The wait the precise-mode flag selects.
  void wait() { preciseMode() != 0 ? preciseWait() : coarseWait(); }
  // Microseconds since the start mark (the end of the last cycle).
  double elapsedUs() const;
  // Closes a wait made elsewhere (a paced loop with its own rule): markInterval,
  // keeping `measuredUs` as the time that wait measured.
  void endWait(double measuredUs);

  int32_t preciseMode() const { return preciseMode_.load(std::memory_order_relaxed); }
  void setPreciseMode(int32_t mode) { preciseMode_.store(mode, std::memory_order_relaxed); }

  // Length of the last completed interval, in milliseconds (readable from any thread).
  double lastIntervalMs() const { return lastInterval_.load(std::memory_order_relaxed) / countsPerMs_; }
  double lastIntervalTicks() const { return lastInterval_.load(std::memory_order_relaxed); }
  double averageInterval() const { return averageInterval_; }
  double lastElapsedUs() const { return lastElapsedUs_; }
  double countsPerMs() const { return countsPerMs_; }
  double countsPerUs() const { return countsPerUs_; }
  double carry() const { return carry_; }
  const SleepMargin& sleepMargin() const { return sleepMargin_; }
  const platform::Clock& clock() const { return clock_; }

 private:
  const platform::Clock& clock_;
  int64_t mark_ = 0;
  int64_t now_ = 0;
  bool hasMark_ = true;  // the counter origin, until clear()
  int32_t window_ = 200;
  double carry_ = 0.0;
  double averageInterval_ = 0.0;
  double lastElapsedUs_ = 0.0;
  std::atomic<double> lastInterval_{0.0};
  double countsPerMs_ = 0.0;
  double countsPerUs_ = 0.0;
  std::atomic<int32_t> preciseMode_{1};
  SleepMargin sleepMargin_;              // precise wait only
  platform::DeadlineSleep deadlineSleep_;  // precise wait only
};

// Sleeps until `clock` has advanced by the given milliseconds, in
// whole-millisecond steps (1 to 2 ms with a 1-ms timer resolution).
void sleepMilliseconds(int milliseconds, const platform::Clock& clock = platform::realClock());

}  // namespace portrelay
