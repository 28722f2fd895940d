// Cycles of the engine thread that the seat could feel: how many ran longer
// than 10 ms, and the longest of the last 10 seconds. The engine thread notes
// every completed cycle (a few atomic loads and stores, no lock, no
// allocation); any thread reads the result.
#pragma once
#include <array>
#include <atomic>
#include <cstdint>

namespace portrelay {

class CycleStalls {
 public:
  // Five periods of 2 ms: longer than any jitter of the sleeps, short enough
  // that a held seat is seen.
  static constexpr double kLongCycleMs = 10.0;
  static constexpr int64_t kWindowSeconds = 10;

  // Engine thread: a cycle of `cycleMs` ended at `endMs` (monotonic milliseconds).
  void record(double cycleMs, int64_t endMs) noexcept;
  // Engine thread, before its first cycle: forgets every cycle seen.
  void reset() noexcept;

  // Cycles longer than kLongCycleMs since the last reset (stops at INT32_MAX).
  int32_t longCycles() const noexcept { return longCycles_.load(std::memory_order_relaxed); }
  // The longest cycle that ended within the last kWindowSeconds (whole
  // seconds, so up to one more) before `nowMs`; 0 when none did.
  double longestMs(int64_t nowMs) const noexcept;

 private:
  // One slot per second of the window and one for the second running now:
  // (second number + 1) << 32 | the longest cycle of that second in µs. One
  // word, so a reader never pairs a second with another second's cycle.
  std::array<std::atomic<uint64_t>, kWindowSeconds + 1> seconds_{};
  std::atomic<int32_t> longCycles_{0};
};

}  // namespace portrelay
