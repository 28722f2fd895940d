#include "support/fake_clock.h"

#include <algorithm>
#include <cmath>

namespace portrelay::testing {

int64_t FakeClock::counter() const noexcept {
  const int64_t reading = now_;
  moveTo(now_ + ticksPerReading);
  return reading;
}

void FakeClock::sleepMicroseconds(int64_t microseconds) const noexcept {
  ++sleeps;
  advanceUs(static_cast<double>(std::max<int64_t>(microseconds, 0)) + sleepLateUs);
}

bool FakeClock::sleepUntil(platform::DeadlineSleep&, int64_t deadline) const noexcept {
  if (!hasDeadlineSleep) return false;
  ++deadlineSleeps;
  if (deadline > now_) moveTo(deadline);
  advanceUs(sleepLateUs);
  return true;
}

void FakeClock::waitOnWord(const std::atomic<uint32_t>& word, uint32_t expected, int64_t timeoutUs) const noexcept {
  ++wordWaits;
  if (timeoutUs <= 0 || word.load() != expected) return;
  const int64_t end = now_ + timeoutUs * kTicksPerUs;
  // Event by event, so that the wait ends at the one that changes the word.
  while (word.load() == expected) {
    int64_t next = end;
    for (const auto& event : events_) next = std::min(next, event.first);
    if (next >= end) {
      moveTo(end);
      break;
    }
    moveTo(next);
  }
}

void FakeClock::advanceUs(double microseconds) const {
  moveTo(now_ + static_cast<int64_t>(std::llround(microseconds * kTicksPerUs)));
}

void FakeClock::at(double atUs, std::function<void()> event) {
  events_.emplace_back(kStart + static_cast<int64_t>(std::llround(atUs * kTicksPerUs)), std::move(event));
}

void FakeClock::moveTo(int64_t ticks) const {
  now_ = std::max(now_, ticks);
  // Due events in time order; an event may schedule no others.
  for (;;) {
    auto due = events_.end();
    for (auto it = events_.begin(); it != events_.end(); ++it)
      if (it->first <= now_ && (due == events_.end() || it->first < due->first)) due = it;
    if (due == events_.end()) return;
    auto event = std::move(due->second);
    events_.erase(due);
    event();
  }
}

}  // namespace portrelay::testing
