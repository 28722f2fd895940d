// The output fade and the park ramp, stepped cycle by cycle on a clock the
// test moves.
#include <gtest/gtest.h>

#include "engine/motion_engine.h"
#include "engine/output_frame.h"
#include "riglink/link_state.h"
#include "support/fake_clock.h"

namespace portrelay {
namespace {

using testing::FakeClock;

// An engine whose thread never starts, on a clock only the test moves.
struct SteppedEngine {
  FakeClock clock;
  RigLink link;
  MotionEngine engine{link, clock};

  SteppedEngine() {
    clock.ticksPerReading = 0;  // cycles of exactly the lengths given
    suspendOutput(false);
    engine.cycleTimer().restart();
  }
  // A refused filter string suspends output; an accepted one resumes it.
  void suspendOutput(bool suspended) {
    ASSERT_EQ(engine.installFilterString(0, 0, suspended ? "" : "VALUE"), !suspended);
    ASSERT_EQ(engine.isOutputSuspended(), suspended);
  }
  // One engine cycle of `ms`, ending with its fade step.
  void cycle(double ms) {
    clock.advanceUs(ms * 1000.0);
    engine.cycleTimer().markInterval();
    engine.stepFade();
  }
};

struct Fade : ::testing::Test, SteppedEngine {};

TEST_F(Fade, EachCycleAdvancesByItsRealLengthUpToTheStepLimit) {
  struct Case {
    double cycleMs;
    bool suspended;
    bool cleared;  // the loop's timer was cleared (searching, paused)
    double advancedMs;
  };
  const Case cases[] = {
      {2.0, false, false, 2.0},   {0.5, false, false, 0.5},
      {10.0, false, false, 10.0}, {500.0, false, false, kMaxFadeStepMs},  // a stall finishes no fade
      {2.0, true, false, 0.0},    // suspended output moves nothing: the fade waits
      {2.0, false, true, 0.0},    // the first cycle after a pause has no length yet
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.cycleMs << " ms, suspended " << c.suspended << ", cleared " << c.cleared);
    suspendOutput(c.suspended);  // restarts the fade too
    engine.setFadeProgress(0.25);
    if (c.cleared) engine.cycleTimer().clear();
    cycle(c.cycleMs);
    EXPECT_NEAR(engine.fadeProgress(), 0.25 + c.advancedMs / MotionEngine::kFadeDurationMs, 1e-12);
    engine.cycleTimer().restart();
  }
}

TEST_F(Fade, TakesFourSecondsOfTwoMillisecondCycles) {
  engine.restartFade();
  int cycles = 0;
  while (engine.fadeProgress() < 1.0 && cycles < 10000) {
    cycle(2.0);
    ++cycles;
  }
  EXPECT_GE(cycles, 2000);
  EXPECT_LE(cycles, 2001);
  EXPECT_EQ(engine.transitionStatus(), 100.0);
}

TEST_F(Fade, BlendsFromTheStartValues) {
  cycle(2.0);
  engine.restartFade();  // fadeStart = 0, the outputs last sent
  engine.cues(MotionEngine::kOutputCues)[0] = 10.0;
  engine.setFadeProgress(0.5);  // 2000 of 4000 ms
  engine.stepFade();
  EXPECT_EQ(engine.cues(MotionEngine::kOutputCues)[0], 5.0);
  EXPECT_DOUBLE_EQ(engine.fadeProgress(), 0.5 + 2.0 / 4000.0);
}

// The park ramp runs on the loop's clock, frame by frame: it takes the asked
// time of 2-ms frames, and a stall of the engine thread counts as one capped
// step, so the ramp never jumps.
TEST_F(Fade, ParkRampTakesTheAskedTimeOnTheLoopClock) {
  struct Case {
    int stallAtFrame;  // -1: no stall
    double stallMs;
    int parkFrames;  // frames of 2 ms until parked
  };
  const Case cases[] = {{-1, 0.0, 300}, {100, 500.0, 296}, {100, 9.0, 297}};
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "stall of " << c.stallMs << " ms at frame " << c.stallAtFrame);
    SteppedEngine stepped;  // each case on an engine of its own
    MotionEngine& e = stepped.engine;
    for (int i = 0; i < kRigAxisCount; ++i) {
      e.setRigLimit(i, -1.0, 1.0);
      e.cues(MotionEngine::kOutputCues)[i] = 0.5;
    }
    for (int frame = 0; frame < 50; ++frame) {  // up to 0.5 at the rate limit
      stepped.clock.advanceUs(2000.0);
      e.sendOutput();
    }
    e.requestPark(600);
    int frames = 0;
    double before = 0.5;
    while (e.parkStatus() != ParkController::kParked && frames < 1000) {
      stepped.clock.advanceUs(frames == c.stallAtFrame ? c.stallMs * 1000.0 : 2000.0);
      e.sendOutput();
      ++frames;
      uint8_t frame[kOutputFrameSize];
      e.copyOutputFrame(frame);
      const double heave = decodeMotionFrame(frame).axes[2];
      ASSERT_LE(before - heave, 0.5 * kMaxFadeStepMs / 600.0 + 1e-6) << "frame " << frames;
      before = heave;
    }
    EXPECT_NEAR(frames, c.parkFrames, 1);
    EXPECT_EQ(before, 0.0);
  }
}

}  // namespace
}  // namespace portrelay
