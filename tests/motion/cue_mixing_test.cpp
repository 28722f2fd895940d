// Cue computation, the mix, and the AIR/GROUND cross-fade, driven step by step.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "engine/motion_engine.h"
#include "filters/filter_install.h"
#include "support/test_game.h"

namespace portrelay {
namespace {

struct MixFixture : ::testing::Test {
  MotionEngine engine;
  testing::TestGame* game = nullptr;
  double* data = nullptr;

  MixFixture() {
    for (int id = 0; id < kGameCount; ++id) engine.games.installReader(id, nullptr);
    auto owned = std::make_unique<testing::TestGame>();
    game = owned.get();
    engine.games.installReader(3, std::move(owned));
    engine.games.setDetectionPauseMs(0);
    EXPECT_TRUE(engine.games.detectGame());
    data = engine.games.record().data;
    for (int slot = 0; slot < 8; ++slot) engine.setInputLimit(slot, -100.0, 100.0);
  }
};

TEST_F(MixFixture, MainSlotsFollowTheirInputsWithinLimits) {
  data[3] = 2.0;     // lateral_accel_g -> sway and roll tilt
  data[14] = 5.0;    // yaw_speed
  data[16] = 10.0;   // roll_position
  data[20] = 500.0;  // pitch_speed, above its limit of 100
  engine.selectProfile();
  EXPECT_EQ(engine.airCues[0], 2.0);
  EXPECT_EQ(engine.airCues[3], 5.0);
  EXPECT_EQ(engine.airCues[5], 100.0);
  EXPECT_EQ(engine.outputCues[0], 2.0);
  EXPECT_EQ(engine.outputCues[3], 5.0);
  EXPECT_EQ(engine.outputCues[4], 2.0 + 10.0);  // tilt + attitude (slots 6 and 8)
  EXPECT_EQ(engine.outputCues[5], 100.0);
  EXPECT_EQ(engine.groundCues[0], 0.0);  // GROUND weight 0
}

TEST_F(MixFixture, DefaultInputLimitsHoldLimitedSlotsAtZero) {
  MotionEngine fresh;
  fresh.games.record().data[3] = 7.0;
  fresh.games.record().data[16] = 7.0;
  fresh.computeCues();
  EXPECT_EQ(fresh.airCues[0], 0.0);
  EXPECT_EQ(fresh.airCues[8], 7.0);  // attitude slots are not limited
}

TEST_F(MixFixture, SwitchedOffSlotGivesExactlyZero) {
  data[3] = 2.0;
  ASSERT_TRUE(installFilterString(engine, 0, 0, "GAIN(VALUE;3)"));
  engine.setActiveAxis(0, 0, 0);
  engine.selectProfile();
  EXPECT_EQ(engine.airCues[0], 0.0);
  EXPECT_TRUE(std::signbit(engine.airCues[0]) == false);
}

TEST_F(MixFixture, BeltSlotSeesTheSumOfTheSameCycle) {
  engine.setBeltMix(0, 1, 1.0);
  data[7] = 3.25;  // longitu_accel_g
  engine.selectProfile();
  EXPECT_EQ(engine.airCues[11], 3.25);
  EXPECT_EQ(engine.airCues[10], engine.airCues[11]);
  EXPECT_EQ(data[42], 3.25);
  EXPECT_EQ(engine.outputCues[10], 3.25);
  // Weight index 3 takes no part; GROUND's belt weights are never used.
  engine.setBeltMix(0, 3, 100.0);
  engine.setBeltMix(1, 1, 100.0);
  engine.selectProfile();
  EXPECT_EQ(engine.outputCues[10], 3.25);
}

TEST_F(MixFixture, EffectSlotsGenerateOnTheirOwn) {
  ASSERT_TRUE(installFilterString(engine, 0, 19, "ADD(VALUE;0,5)"));
  engine.selectProfile();
  EXPECT_EQ(engine.airCues[19], 0.5);
  EXPECT_EQ(engine.outputCues[4], 0.5);
}

TEST_F(MixFixture, GroundTransitionReportsTruncatedPercentAndEnds) {
  data[3] = 1.0;
  engine.selectProfile();
  EXPECT_EQ(engine.airCues[0], 1.0);
  game->setGround(1);
  std::vector<double> reported;
  for (int step = 0; step < 100; ++step) {
    engine.selectProfile();
    reported.push_back(engine.groundTransitionStatus());
  }
  EXPECT_EQ(reported[0], 1.0);
  EXPECT_EQ(reported[8], 9.0);
  EXPECT_EQ(reported[9], 10.0);
  EXPECT_EQ(reported[10], 10.0);  // 0.01 steps summed fall just short of 0.11
  EXPECT_EQ(reported[11], 11.0);
  EXPECT_EQ(reported[98], 99.0);
  EXPECT_EQ(reported[99], 100.0);  // the 100th step passes 1.0 and ends it
  EXPECT_EQ(engine.transitionRunning, 0);
  EXPECT_EQ(engine.activeProfile.load(), 1);
  EXPECT_EQ(engine.airWeight.load(), 0.0);
  EXPECT_EQ(engine.groundWeight.load(), 1.0);
  for (double cue : engine.airCues) EXPECT_EQ(cue, 0.0);
  EXPECT_EQ(engine.airTransitionStatus(), 0.0);
}

TEST_F(MixFixture, DirectionChangeMidTransitionKeepsTheWeights) {
  game->setGround(1);
  for (int step = 0; step < 15; ++step) engine.selectProfile();
  const double ground = engine.groundWeight.load();
  EXPECT_NEAR(ground, 0.15, 1e-9);
  game->setGround(0);
  engine.selectProfile();
  EXPECT_NEAR(engine.airWeight.load(), 1.0 - ground + 0.01, 1e-9);
  EXPECT_EQ(engine.transitionRunning, 1);
  int steps = 1;
  while (engine.transitionRunning != 0 && steps < 200) {
    engine.selectProfile();
    ++steps;
  }
  EXPECT_EQ(steps, 16);  // 0.85 + 15 x 0.01 does not pass 1.0
  EXPECT_EQ(engine.airWeight.load(), 1.0);
  for (double cue : engine.groundCues) EXPECT_EQ(cue, 0.0);
}

TEST_F(MixFixture, FadeBlendsFromTheStartValues) {
  engine.loopTimer.markInterval();
  sleepMilliseconds(2);
  engine.loopTimer.markInterval();  // a cycle of about 2 ms
  engine.restartFade();  // fadeStart = 0
  engine.outputCues[0] = 10.0;
  engine.fadePosition = 0.5;  // 2000 of 4000 ms
  engine.stepFade();
  EXPECT_EQ(engine.outputCues[0], 5.0);
  EXPECT_GT(engine.fadePosition.load(), 0.5);
}

}  // namespace
}  // namespace portrelay
