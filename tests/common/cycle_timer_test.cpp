#include "common/cycle_timer.h"

#include <gtest/gtest.h>

namespace portrelay {
namespace {

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

TEST(CycleTimer, MarkIntervalAveragesOverTheWindow) {
  CycleTimer timer;
  timer.markInterval();
  const double first = timer.lastIntervalTicks();
  const double firstAverage = timer.averageInterval();
  EXPECT_DOUBLE_EQ(firstAverage, first / 200.0);
  sleepMilliseconds(2);
  timer.markInterval();
  const double interval = timer.lastIntervalTicks();
  EXPECT_GE(interval / timer.countsPerMs(), 2.0);
  EXPECT_DOUBLE_EQ(timer.averageInterval(), firstAverage + (interval - firstAverage) / 200.0);
  // A cleared timer reports 0 until one whole interval has passed after it.
  timer.clear();
  EXPECT_EQ(timer.lastIntervalMs(), 0.0);
  sleepMilliseconds(3);
  timer.markInterval();
  EXPECT_EQ(timer.lastIntervalMs(), 0.0);
  sleepMilliseconds(2);
  timer.markInterval();
  EXPECT_GE(timer.lastIntervalMs(), 2.0);
  EXPECT_LT(timer.lastIntervalMs(), 3.0 + 50.0);
}

TEST(CycleTimer, SleepMillisecondsSleepsAtLeastTheTime) {
  using clock = std::chrono::steady_clock;
  const auto start = clock::now();
  sleepMilliseconds(3);
  EXPECT_GE(clock::now() - start, std::chrono::milliseconds(3));
}

}  // namespace
}  // namespace portrelay
