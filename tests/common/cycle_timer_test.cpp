#include "common/cycle_timer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "platform/clock.h"
#include "platform/deadline_sleep.h"
#include "support/fake_clock.h"

namespace portrelay {
namespace {

using testing::FakeClock;

// ---- The pacing rules, on a clock the test moves ----

// A cycle that worked `workUs` since the last one ended, then waited.
double preciseCycle(CycleTimer& timer, const FakeClock& clock, double workUs) {
  clock.advanceUs(workUs);
  timer.preciseWait();
  return timer.lastIntervalTicks() / timer.countsPerUs();
}

TEST(CyclePacing, PreciseWaitSleepsByTheLearntMarginAndNeverEndsEarly) {
  struct Case {
    double lateUs;  // how late the system's sleeps wake
    double workUs;  // each cycle's own work
  };
  for (const Case c : {Case{0, 100}, Case{50, 100}, Case{300, 100}, Case{300, 1500}, Case{0, 2500}}) {
    SCOPED_TRACE(::testing::Message() << "late " << c.lateUs << " work " << c.workUs);
    FakeClock clock;
    clock.sleepLateUs = c.lateUs;
    CycleTimer timer(clock);
    timer.markInterval();
    double intervalUs = 0.0;
    for (int i = 0; i < 60; ++i) {
      intervalUs = preciseCycle(timer, clock, c.workUs);
      EXPECT_GT(timer.lastElapsedUs(), CycleTimer::kPeriodUs);
      EXPECT_GT(intervalUs, CycleTimer::kPeriodUs);
    }
    // Learnt: the sleep ends early enough that the spin, not the wake, ends the period.
    EXPECT_LT(intervalUs, std::max(CycleTimer::kPeriodUs, c.workUs) + 1.0);
    if (c.workUs < CycleTimer::kPeriodUs - SleepMargin::kMinSleepUs - 400) {
      EXPECT_EQ(clock.deadlineSleeps, 60);
    }
  }
}

TEST(CyclePacing, WithoutAFineSleepThePreciseWaitSleepsOneMillisecondOnlyEarlyInThePeriod) {
  for (const double workUs : {0.5, 400.0, 999.0, 1000.5, 1900.0}) {
    SCOPED_TRACE(workUs);
    FakeClock clock;
    clock.hasDeadlineSleep = false;
    CycleTimer timer(clock);
    timer.markInterval();
    const double intervalUs = preciseCycle(timer, clock, workUs);
    EXPECT_EQ(clock.sleeps, workUs < 1000.0 ? 1 : 0);
    EXPECT_GT(intervalUs, CycleTimer::kPeriodUs);
    EXPECT_LT(intervalUs, CycleTimer::kPeriodUs + 1.0);
  }
}

TEST(CyclePacing, CoarseWaitPicksItsSleepByTheElapsedTimeWithTheCarry) {
  struct Case {
    double workUs;
    int sleeps;
    double sleptUs;
  };
  // Below 500 µs two milliseconds, from 501 to 999 one, else none.
  for (const Case c : {Case{0, 1, 2000}, Case{499, 1, 2000}, Case{501.5, 1, 1000}, Case{999, 1, 1000},
                       Case{1000.5, 0, 0}, Case{3000, 0, 0}}) {
    SCOPED_TRACE(c.workUs);
    FakeClock clock;
    CycleTimer timer(clock);
    timer.setPreciseMode(0);
    timer.markInterval();
    clock.advanceUs(c.workUs);
    timer.wait();
    EXPECT_EQ(clock.sleeps, c.sleeps);
    EXPECT_NEAR(timer.lastIntervalTicks() / timer.countsPerUs(), c.workUs + c.sleptUs, 1.0);
    EXPECT_NEAR(timer.carry(), c.workUs + c.sleptUs - CycleTimer::kPeriodUs, 1.0);
  }
}

TEST(CyclePacing, CoarseWaitCarriesTheTimerErrorAndMakesUpNoLongStall) {
  FakeClock clock;
  clock.sleepLateUs = 900;  // a 1-ms system timer: every sleep ends near the next tick
  CycleTimer timer(clock);
  timer.setPreciseMode(0);
  timer.markInterval();
  double totalUs = 0.0;
  constexpr int kCycles = 500;
  for (int i = 0; i < kCycles; ++i) {
    clock.advanceUs(300);
    timer.wait();
    totalUs += timer.lastIntervalTicks() / timer.countsPerUs();
    ASSERT_LE(std::abs(timer.carry()), CycleTimer::kMaxCarryUs);
  }
  // The carried error pulls the average back to the period.
  EXPECT_NEAR(totalUs / kCycles, CycleTimer::kPeriodUs, 20.0);

  // A stall of 100 ms: the carry stops at its bound, so the cycles after it
  // make up at most kMaxCarryUs of it, not all 100 ms in a burst.
  clock.advanceUs(100000);
  timer.wait();
  EXPECT_EQ(timer.carry(), CycleTimer::kMaxCarryUs);
  double afterUs = 0.0;
  constexpr int kAfter = 100;
  for (int i = 0; i < kAfter; ++i) {
    clock.advanceUs(300);
    timer.wait();
    afterUs += timer.lastIntervalTicks() / timer.countsPerUs();
  }
  EXPECT_GE(afterUs, kAfter * CycleTimer::kPeriodUs - CycleTimer::kMaxCarryUs - CycleTimer::kPeriodUs);
  EXPECT_LE(afterUs, kAfter * CycleTimer::kPeriodUs - CycleTimer::kMaxCarryUs + CycleTimer::kPeriodUs);
}

TEST(CyclePacing, MarkIntervalAveragesOverTheWindowAndAClearedTimerReportsNothing) {
  FakeClock clock;
  clock.ticksPerReading = 0;
  CycleTimer timer(clock);
  timer.markInterval();  // the first interval runs from the counter's origin
  const double first = timer.lastIntervalTicks();
  const double firstAverage = timer.averageInterval();
  EXPECT_DOUBLE_EQ(firstAverage, first / 200.0);
  clock.advanceUs(2000);
  timer.markInterval();
  EXPECT_EQ(timer.lastIntervalMs(), 2.0);
  EXPECT_DOUBLE_EQ(timer.averageInterval(), firstAverage + (2000 * FakeClock::kTicksPerUs - firstAverage) / 200.0);
  // A cleared timer reports 0 until one whole interval has passed after it.
  timer.clear();
  EXPECT_EQ(timer.lastIntervalMs(), 0.0);
  clock.advanceUs(3000);
  timer.markInterval();
  EXPECT_EQ(timer.lastIntervalMs(), 0.0);
  clock.advanceUs(2500);
  timer.markInterval();
  EXPECT_EQ(timer.lastIntervalMs(), 2.5);
}

TEST(CyclePacing, SleepMillisecondsSleepsWholeMillisecondsUntilTheTimeHasPassed) {
  FakeClock clock;
  clock.sleepLateUs = -400;  // a sleep that ends early is taken again for the rest
  const double start = clock.nowUs();
  sleepMilliseconds(3, clock);
  EXPECT_GE(clock.nowUs() - start, 3000.0);
  EXPECT_EQ(clock.sleeps, 2);
}

// ---- The same rules on the system's clock (label timing) ----

TEST(CycleTimer, PreciseWaitNeverEndsAPeriodEarly) {
  CycleTimer timer;
  timer.markInterval();
  for (int i = 0; i < 40; ++i) {
    timer.preciseWait();
    EXPECT_GT(timer.lastElapsedUs(), 2000.0);
    EXPECT_GE(timer.lastIntervalTicks() / timer.countsPerUs(), 2000.0);
  }
  EXPECT_GE(timer.lastIntervalMs(), 2.0);
}

// Natively and under Wine the precise wait sleeps most of the period in the
// kernel: the fine sleep must exist there, never end before its deadline and
// mostly wake within a fraction of a millisecond (else the wait spins it).
TEST(CycleTimer, TheFineSleepWakesJustAfterItsDeadline) {
  platform::DeadlineSleep sleep;
  const int64_t perUs = platform::performanceFrequency() / 1000000;
  std::vector<double> lateUs;
  for (int i = 0; i < 21; ++i) {
    const int64_t deadline = platform::performanceCounter() + 700 * perUs;
    ASSERT_TRUE(sleep.until(deadline));
    const int64_t woke = platform::performanceCounter();
    EXPECT_GE(woke, deadline);
    lateUs.push_back(static_cast<double>(woke - deadline) / static_cast<double>(perUs));
  }
  std::nth_element(lateUs.begin(), lateUs.begin() + 10, lateUs.end());
  EXPECT_LT(lateUs[10], 500.0);  // the median
}

TEST(CycleTimer, CoarseWaitKeepsTheAverageNearTwoMilliseconds) {
  CycleTimer timer;
  timer.setPreciseMode(0);
  timer.markInterval();
  double totalMs = 0.0;
  constexpr int kCycles = 100;
  for (int i = 0; i < kCycles; ++i) {
    timer.wait();
    totalMs += timer.lastIntervalMs();
  }
  // The carried error pulls the average back to the period.
  EXPECT_NEAR(totalMs / kCycles, 2.0, 0.5);
}

TEST(CycleTimer, SleepMillisecondsSleepsAtLeastTheTime) {
  using clock = std::chrono::steady_clock;
  const auto start = clock::now();
  sleepMilliseconds(3);
  EXPECT_GE(clock::now() - start, std::chrono::milliseconds(3));
}

}  // namespace
}  // namespace portrelay
