// The phase lock's rule, cycle by cycle, on a clock the test moves: the
// frames come exactly when the test says, so each case is one expectation.
#include "riglink/phase_lock.h"

#include <gtest/gtest.h>

#include "support/fake_clock.h"

namespace portrelay {
namespace {

using testing::FakeClock;

TEST(PhaseLockRule, AFrameEndsTheWaitLockedLoopsWaitPastTheirTickAndUnlockWithoutFrames) {
  struct Cycle {
    const char* what;
    double frameAtUs;  // after the cycle's start; < 0: no frame
    double intervalUs;
    bool locked;
  };
  const double slackTick = CycleTimer::kPeriodUs + kLockSlackUs;
  const Cycle cycles[] = {
      {"no frames: the loop's own 2-ms tick", -1, CycleTimer::kPeriodUs, false},
      {"a frame ends the wait at once and locks", 700, 700, true},
      {"locked: the next frame, later than the tick, is waited for", 2300, 2300, true},
      {"locked: an earlier frame too", 1500, 1500, true},
      {"locked, the frames stop: one tick pushed back by the slack, then unlocked", -1, slackTick, false},
      {"unlocked again: the own tick", -1, CycleTimer::kPeriodUs, false},
      {"a frame late in the spin locks again", 1990, 1990, true},
  };
  FakeClock clock;
  CycleTimer timer(clock);
  FrameSignal frames;
  PhaseLock lock;
  timer.markInterval();
  for (const Cycle& c : cycles) {
    SCOPED_TRACE(c.what);
    const double startUs = clock.nowUs();
    lock.beginCycle(frames);
    clock.advanceUs(50);  // the cycle's own work
    if (c.frameAtUs >= 0) clock.at(startUs + c.frameAtUs, [&] { frames.signal(); });
    lock.endCycle(timer, frames);
    const double intervalUs = timer.lastIntervalTicks() / timer.countsPerUs();
    EXPECT_EQ(lock.locked(), c.locked);
    if (c.frameAtUs >= 0) {
      EXPECT_NEAR(intervalUs, c.intervalUs, 2.0);
    } else {
      EXPECT_GT(intervalUs, c.intervalUs);  // the tick is never early
      EXPECT_LT(intervalUs, c.intervalUs + 2.0);
    }
  }
}

TEST(PhaseLockRule, AFrameSignalledDuringTheCycleWakesTheNextOneAtOnce) {
  FakeClock clock;
  CycleTimer timer(clock);
  FrameSignal frames;
  PhaseLock lock;
  timer.markInterval();
  lock.beginCycle(frames);
  clock.advanceUs(50);
  frames.signal();  // queued after the cycle took its snapshot
  const int waitsBefore = clock.wordWaits;
  lock.endCycle(timer, frames);
  EXPECT_TRUE(lock.locked());
  EXPECT_EQ(clock.wordWaits, waitsBefore);  // no wait at all
  EXPECT_LT(timer.lastIntervalTicks() / timer.countsPerUs(), 51.0);
}

}  // namespace
}  // namespace portrelay
