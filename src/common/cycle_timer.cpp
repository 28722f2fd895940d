#include "common/cycle_timer.h"

#include <chrono>
#include <thread>

#include "platform/clock.h"

namespace portrelay {

CycleTimer::CycleTimer() {
  const double frequency = static_cast<double>(platform::performanceFrequency());
  countsPerMs_ = frequency / 1000.0;
  countsPerUs_ = frequency / 1000000.0;
}

void CycleTimer::markInterval() {
  now_ = platform::performanceCounter();
  if (hasMark_) {
    const double interval = static_cast<double>(now_ - mark_);
    lastInterval_.store(interval, std::memory_order_relaxed);
    averageInterval_ += (interval - averageInterval_) / window_;
  }
  mark_ = platform::performanceCounter();
  hasMark_ = true;
}

void CycleTimer::clear() {
  hasMark_ = false;
  lastInterval_.store(0.0, std::memory_order_relaxed);
  carry_ = 0.0;
}

void CycleTimer::restart() {
  clear();
  markInterval();
}

double CycleTimer::elapsedUs() const {
  return static_cast<double>(platform::performanceCounter() - mark_) / countsPerUs_;
}

void CycleTimer::preciseWait() {
  double e = elapsedUs();
  const double sleepEndUs = sleepMargin_.sleepEndUs(e, kPeriodUs);
  const int64_t sleepEnd = mark_ + static_cast<int64_t>(sleepEndUs * countsPerUs_);
  if (sleepEndUs > 0.0 && deadlineSleep_.until(sleepEnd)) {
    e = elapsedUs();
    sleepMargin_.learn(sleepEndUs, e);
  } else {
    if (sleepEndUs <= 0.0) sleepMargin_.relax();
    if (e > 0.0 && e < 1000.0) sleepMilliseconds(1);
  }
  while (e <= kPeriodUs) e = elapsedUs();  // the rest: busy wait, no yield
  endWait(e);
}

void CycleTimer::endWait(double measuredUs) {
  markInterval();
  lastElapsedUs_ = measuredUs;
}

void CycleTimer::coarseWait() {
  const double measured = elapsedUs();
  const double withCarry = measured + carry_;
  // Truncate toward zero; clamp first so a huge carry cannot overflow the cast.
  const long long e = withCarry > 9.0e18 ? 9000000000000000000LL
                      : withCarry < -9.0e18 ? -9000000000000000000LL
                                           : static_cast<long long>(withCarry);
  if (e < 500) {
    std::this_thread::sleep_for(std::chrono::nanoseconds(2000000));
  } else if (e >= 501 && e <= 999) {
    sleepMilliseconds(1);
  }
  carry_ += elapsedUs() - kPeriodUs;
  if (carry_ > kMaxCarryUs) carry_ = kMaxCarryUs;
  if (carry_ < -kMaxCarryUs) carry_ = -kMaxCarryUs;
  markInterval();
  lastElapsedUs_ = static_cast<double>(e);
}

int64_t counterMilliseconds() {
  static const int64_t countsPerMs = platform::performanceFrequency() / 1000;
  return platform::performanceCounter() / countsPerMs;
}

void sleepMilliseconds(int milliseconds) {
  using clock = std::chrono::steady_clock;
  const auto target = clock::now() + std::chrono::milliseconds(milliseconds);
  for (auto now = clock::now(); now < target; now = clock::now()) {
    const auto remaining = std::chrono::ceil<std::chrono::milliseconds>(target - now);
    std::this_thread::sleep_for(remaining);
  }
}

}  // namespace portrelay
