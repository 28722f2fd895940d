#include "common/sleep_margin.h"

#include <algorithm>

namespace portrelay {
namespace {

// The estimate tracks a high quantile of the wake-ups, whatever their size: a
// wake-up later than it raises it by a quarter (never past that wake-up), an
// earlier one lowers it by a 99th of a quarter, so it settles where one
// wake-up in 100 is later. An occasional long preemption then costs one
// late cycle instead of a long spin in every cycle after it.
constexpr double kRise = 0.25;
constexpr double kFall = kRise / 99.0;
// Without sleeps, about 1400 waits (some 3 s of 2-ms cycles) halve it.
constexpr double kRelax = 1.0 / 2048.0;
// The estimate never reaches 0, so that it can rise again.
constexpr double kFloorUs = 1.0;

}  // namespace

double SleepMargin::sleepEndUs(double elapsedUs, double deadlineUs) const noexcept {
  const double end = deadlineUs - marginUs();
  return end - elapsedUs >= kMinSleepUs ? end : 0.0;
}

void SleepMargin::learn(double plannedUs, double wokeUs) noexcept {
  const double behind = wokeUs - plannedUs;
  const double late = behind > 0.0 ? std::min(behind, kMaxLateUs) : 0.0;  // NaN counts as on time
  if (late > lateUs_) {
    lateUs_ = std::min(lateUs_ * (1.0 + kRise), late);
  } else {
    lateUs_ = std::max(lateUs_ * (1.0 - kFall), kFloorUs);
  }
}

void SleepMargin::relax() noexcept { lateUs_ = std::max(lateUs_ * (1.0 - kRelax), kFloorUs); }

}  // namespace portrelay
