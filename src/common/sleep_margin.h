// How early a wait must ask its kernel sleep to end so that it wakes before
// the deadline: a running estimate of how late this thread's sleeps wake (a
// high quantile: one in 100 wakes later), learnt from every sleep the wait
// takes. The wait sleeps until the deadline
// less this margin and spins the rest, so the spin stays short on a system
// whose sleeps wake on time and grows only where they do not.
#pragma once

namespace portrelay {

class SleepMargin {
 public:
  // A new wait assumes sleeps a little late and learns from the first ones.
  static constexpr double kInitialLateUs = 200.0;
  // Kept above the estimate: the usual scatter of a wake-up around it.
  static constexpr double kGuardUs = 20.0;
  // A sleep shorter than this is not worth the system call: spin instead.
  static constexpr double kMinSleepUs = 100.0;
  // No wake-up counts later than this: a stall of the thread is no lesson
  // about the timer.
  static constexpr double kMaxLateUs = 4000.0;

  // With `elapsedUs` passed and a deadline at `deadlineUs` (both from the
  // same start), the elapsed time at which the sleep is to end; 0 when the
  // rest is to be spun.
  double sleepEndUs(double elapsedUs, double deadlineUs) const noexcept;
  // A sleep asked to end at elapsed `plannedUs` woke at `wokeUs`.
  void learn(double plannedUs, double wokeUs) noexcept;
  // A wait that took no sleep: the estimate relaxes slowly, so that sleeps
  // are tried again on a system whose sleeps were late only for a while.
  void relax() noexcept;

  double lateUs() const noexcept { return lateUs_; }
  double marginUs() const noexcept { return lateUs_ + kGuardUs; }

 private:
  double lateUs_ = kInitialLateUs;
};

}  // namespace portrelay
