#include "common/sleep_margin.h"

#include <gtest/gtest.h>

#include <cmath>

namespace portrelay {
namespace {

constexpr double kPeriodUs = 2000.0;

// The sleeps of a good system wake some 60 µs late: the estimate comes down
// from its start and the wait sleeps until just that much before the deadline.
TEST(SleepMargin, LearnsHowLateSleepsWake) {
  SleepMargin margin;
  for (int i = 0; i < 3000; ++i) {
    const double end = margin.sleepEndUs(1100.0, kPeriodUs);
    ASSERT_GT(end, 1100.0) << i;
    margin.learn(end, end + 60.0);
  }
  EXPECT_NEAR(margin.lateUs(), 60.0, 0.5);
  EXPECT_NEAR(margin.sleepEndUs(1100.0, kPeriodUs), kPeriodUs - 60.0 - SleepMargin::kGuardUs, 0.5);
  // One wake-up in 400 a millisecond late (a preemption) leaves it low: no
  // long spin in every cycle for a rare late one.
  for (int i = 0; i < 3000; ++i) {
    const double end = margin.sleepEndUs(1100.0, kPeriodUs);
    margin.learn(end, end + (i % 400 == 399 ? 1000.0 : 60.0));
  }
  EXPECT_LT(margin.lateUs(), 100.0);
}

TEST(SleepMargin, ALateWakeRaisesTheMarginAtOnceAndAnEarlyOneSlowly) {
  struct Case {
    double behindUs;  // woke this long after the planned end
    double lateAfter;
  };
  const double start = SleepMargin::kInitialLateUs;
  const double lower = start * (1.0 - 0.25 / 99.0);
  const Case cases[] = {
      {1000.0, start * 1.25},    // up by a quarter
      {100000.0, start * 1.25},  // however late
      {210.0, 210.0},            // but not past the wake-up
      {0.0, lower},              // on time: down by a 99th of that
      {-300.0, lower},           // early counts as on time
      {std::nan(""), lower},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.behindUs);
    SleepMargin margin;
    margin.learn(1500.0, 1500.0 + c.behindUs);
    EXPECT_DOUBLE_EQ(margin.lateUs(), c.lateAfter);
  }
}

TEST(SleepMargin, SpinsWhatIsTooShortToSleep) {
  SleepMargin margin;  // margin 200 + 20 µs
  const double end = kPeriodUs - margin.marginUs();
  EXPECT_EQ(margin.sleepEndUs(end - SleepMargin::kMinSleepUs, kPeriodUs), end);
  EXPECT_EQ(margin.sleepEndUs(end - SleepMargin::kMinSleepUs + 1.0, kPeriodUs), 0.0);
  EXPECT_EQ(margin.sleepEndUs(2500.0, kPeriodUs), 0.0);  // a cycle past its deadline
}

// Where sleeps wake a millisecond late (a timer of whole milliseconds) the
// wait spins; with no sleep to learn from the margin relaxes, so a sleep is
// tried again after a few seconds of cycles, not every cycle.
TEST(SleepMargin, AMarginTooLargeToSleepIsTriedAgainLater) {
  SleepMargin margin;
  for (int i = 0; i < 20; ++i) margin.learn(0.0, 1900.0);
  int waits = 0;
  while (margin.sleepEndUs(1100.0, kPeriodUs) == 0.0 && waits < 100000) {
    margin.relax();
    ++waits;
  }
  EXPECT_GT(waits, 1000);
  EXPECT_LT(waits, 5000);
}

}  // namespace
}  // namespace portrelay
