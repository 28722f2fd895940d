// A clock that moves only when told: by the test (advanceUs), by a wait on it
// (a sleep ends exactly at its end plus the set lateness, a word wait at its
// time-out or at the event that changes the word) and by a small step at each
// reading, so that a loop spinning on the counter ends. Events scheduled with
// at() run when the clock reaches their time, on the thread that moves it:
// a frame signalled in the middle of a wait, for instance. One thread only.
#pragma once
#include <cstdint>
#include <functional>
#include <vector>

#include "platform/clock.h"

namespace portrelay::testing {

class FakeClock final : public platform::Clock {
 public:
  // The tick of Windows' performance counter (100 ns): a rule that mixes up
  // ticks and microseconds shows it.
  static constexpr int64_t kFrequency = 10'000'000;
  static constexpr int64_t kTicksPerUs = kFrequency / 1'000'000;

  // Starts at an arbitrary non-zero time, as a real counter does.
  FakeClock() = default;

  int64_t counter() const noexcept override;
  int64_t frequency() const noexcept override { return kFrequency; }
  void sleepMicroseconds(int64_t microseconds) const noexcept override;
  bool sleepUntil(platform::DeadlineSleep& sleep, int64_t deadline) const noexcept override;
  void waitOnWord(const std::atomic<uint32_t>& word, uint32_t expected, int64_t timeoutUs) const noexcept override;

  // Moves the clock on, running the events that fall due.
  void advanceUs(double microseconds) const;
  // Microseconds since the clock was made.
  double nowUs() const { return static_cast<double>(now_ - kStart) / kTicksPerUs; }
  // Runs `event` once the clock reaches `atUs` (as nowUs() counts).
  void at(double atUs, std::function<void()> event);

  // Every sleep wakes this much after its end (a system's timer lateness).
  double sleepLateUs = 0.0;
  // Where false, sleepUntil has no fine sleep to offer (as under Wine).
  bool hasDeadlineSleep = true;
  // Each counter reading moves the clock on by this many ticks.
  int64_t ticksPerReading = 1;

  // Counts of what the rules asked for, for tests of which wait was taken.
  mutable int sleeps = 0;
  mutable int deadlineSleeps = 0;
  mutable int wordWaits = 0;

 private:
  static constexpr int64_t kStart = 1'000'000'000'000;
  void moveTo(int64_t ticks) const;

  mutable int64_t now_ = kStart;
  mutable std::vector<std::pair<int64_t, std::function<void()>>> events_;
};

}  // namespace portrelay::testing
