#include "common/cycle_timer.h"

namespace portrelay {

CycleTimer::CycleTimer(const platform::Clock& clock) : clock_(clock) {
  const double frequency = static_cast<double>(clock_.frequency());
  countsPerMs_ = frequency / 1000.0;
  countsPerUs_ = frequency / 1000000.0;
}

void CycleTimer::markInterval() {
  now_ = clock_.counter();
  if (hasMark_) {
    const double interval = static_cast<double>(now_ - mark_);
    lastInterval_.store(interval, std::memory_order_relaxed);
    averageInterval_ += (interval - averageInterval_) / window_;
  }
  mark_ = clock_.counter();
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
  return static_cast<double>(clock_.counter() - mark_) / countsPerUs_;
}

void CycleTimer::preciseWait() {
  double e = elapsedUs();
  const double sleepEndUs = sleepMargin_.sleepEndUs(e, kPeriodUs);
  const int64_t sleepEnd = mark_ + static_cast<int64_t>(sleepEndUs * countsPerUs_);
  if (sleepEndUs > 0.0 && clock_.sleepUntil(deadlineSleep_, sleepEnd)) {
    e = elapsedUs();
    sleepMargin_.learn(sleepEndUs, e);
  } else {
    if (sleepEndUs <= 0.0) sleepMargin_.relax();
    if (e > 0.0 && e < 1000.0) sleepMilliseconds(1, clock_);
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
    clock_.sleepMicroseconds(2000);
  } else if (e >= 501 && e <= 999) {
    sleepMilliseconds(1, clock_);
  }
  carry_ += elapsedUs() - kPeriodUs;
  if (carry_ > kMaxCarryUs) carry_ = kMaxCarryUs;
  if (carry_ < -kMaxCarryUs) carry_ = -kMaxCarryUs;
  markInterval();
  lastElapsedUs_ = static_cast<double>(e);
}

void sleepMilliseconds(int milliseconds, const platform::Clock& clock) {
  const int64_t frequency = clock.frequency();
  const int64_t target = clock.counter() + milliseconds * frequency / 1000;
  for (int64_t now = clock.counter(); now < target; now = clock.counter()) {
    const int64_t remainingMs = ((target - now) * 1000 + frequency - 1) / frequency;  // rounded up
    clock.sleepMicroseconds(remainingMs * 1000);
  }
}

}  // namespace portrelay
