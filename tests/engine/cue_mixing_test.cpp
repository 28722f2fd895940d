// Cue computation, the mix, and the AIR/GROUND cross-fade, driven step by step.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <span>
#include <string>
#include <vector>

#include "engine/motion_engine.h"
#include "support/test_game.h"

namespace portrelay {
namespace {

struct MixFixture : ::testing::Test {
  MotionEngine engine;
  testing::TestGame* game = nullptr;
  double* data = nullptr;
  const std::span<double> airCues = engine.cues(MotionEngine::kAirCues);
  const std::span<double> groundCues = engine.cues(MotionEngine::kGroundCues);
  const std::span<double> outputCues = engine.cues(MotionEngine::kOutputCues);

  MixFixture() {
    for (int id = 0; id < kGameCount; ++id) engine.games().installReader(id, nullptr);
    auto owned = std::make_unique<testing::TestGame>();
    game = owned.get();
    engine.games().installReader(3, std::move(owned));
    engine.games().setDetectionPauseMs(0);
    EXPECT_TRUE(engine.games().detectGame());
    data = engine.games().record().data;
    for (int slot = 0; slot < 8; ++slot) engine.setInputLimit(slot, -100.0, 100.0);
  }
};

TEST_F(MixFixture, MainSlotsFollowTheirInputsWithinLimits) {
  data[3] = 2.0;     // lateral_accel_g -> sway and roll tilt
  data[14] = 5.0;    // yaw_speed
  data[16] = 10.0;   // roll_position
  data[20] = 500.0;  // pitch_speed, above its limit of 100
  engine.selectProfile();
  EXPECT_EQ(airCues[0], 2.0);
  EXPECT_EQ(airCues[3], 5.0);
  EXPECT_EQ(airCues[5], 100.0);
  EXPECT_EQ(outputCues[0], 2.0);
  EXPECT_EQ(outputCues[3], 5.0);
  EXPECT_EQ(outputCues[4], 2.0 + 10.0);  // tilt + attitude (slots 6 and 8)
  EXPECT_EQ(outputCues[5], 100.0);
  EXPECT_EQ(groundCues[0], 0.0);  // GROUND weight 0
}

TEST_F(MixFixture, DefaultInputLimitsHoldLimitedSlotsAtZero) {
  MotionEngine fresh;
  fresh.games().record().data[3] = 7.0;
  fresh.games().record().data[16] = 7.0;
  fresh.computeCues();
  EXPECT_EQ(fresh.cues(MotionEngine::kAirCues)[0], 0.0);
  EXPECT_EQ(fresh.cues(MotionEngine::kAirCues)[8], 7.0);  // attitude slots are not limited
}

TEST_F(MixFixture, SwitchedOffSlotGivesExactlyZero) {
  data[3] = 2.0;
  ASSERT_TRUE(engine.installFilterString(0, 0, "GAIN(VALUE;3)"));
  engine.setActiveAxis(0, 0, 0);
  engine.selectProfile();
  EXPECT_EQ(airCues[0], 0.0);
  EXPECT_TRUE(std::signbit(airCues[0]) == false);
}

TEST_F(MixFixture, BeltSlotSeesTheSumOfTheSameCycle) {
  engine.setBeltMix(0, 1, 1.0);
  data[7] = 3.25;  // longitu_accel_g
  engine.selectProfile();
  EXPECT_EQ(airCues[11], 3.25);
  EXPECT_EQ(airCues[10], airCues[11]);
  EXPECT_EQ(data[42], 3.25);
  EXPECT_EQ(outputCues[10], 3.25);
  // Weight index 3 takes no part; GROUND's belt weights are never used.
  engine.setBeltMix(0, 3, 100.0);
  engine.setBeltMix(1, 1, 100.0);
  engine.selectProfile();
  EXPECT_EQ(outputCues[10], 3.25);
}

TEST_F(MixFixture, EffectSlotsGenerateOnTheirOwn) {
  ASSERT_TRUE(engine.installFilterString(0, 19, "ADD(VALUE;0,5)"));
  engine.selectProfile();
  EXPECT_EQ(airCues[19], 0.5);
  EXPECT_EQ(outputCues[4], 0.5);
}

TEST_F(MixFixture, GroundTransitionReportsTruncatedPercentAndEnds) {
  data[3] = 1.0;
  engine.selectProfile();
  EXPECT_EQ(airCues[0], 1.0);
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
  EXPECT_FALSE(engine.profileTransitionRunning());
  EXPECT_EQ(engine.activeProfile(), 1);
  EXPECT_EQ(engine.profileWeight(0), 0.0);
  EXPECT_EQ(engine.profileWeight(1), 1.0);
  for (double cue : airCues) EXPECT_EQ(cue, 0.0);
  EXPECT_EQ(engine.airTransitionStatus(), 0.0);
}

TEST_F(MixFixture, DirectionChangeMidTransitionKeepsTheWeights) {
  game->setGround(1);
  for (int step = 0; step < 15; ++step) engine.selectProfile();
  const double ground = engine.profileWeight(1);
  EXPECT_NEAR(ground, 0.15, 1e-9);
  game->setGround(0);
  engine.selectProfile();
  EXPECT_NEAR(engine.profileWeight(0), 1.0 - ground + 0.01, 1e-9);
  EXPECT_TRUE(engine.profileTransitionRunning());
  int steps = 1;
  while (engine.profileTransitionRunning() && steps < 200) {
    engine.selectProfile();
    ++steps;
  }
  EXPECT_EQ(steps, 16);  // 0.85 + 15 x 0.01 does not pass 1.0
  EXPECT_EQ(engine.profileWeight(0), 1.0);
  for (double cue : groundCues) EXPECT_EQ(cue, 0.0);
}

// Distinct values on every channel, a distinct gain on every slot and distinct
// limits on every axis: any crossed table index, weight index, mix term or
// rig limit changes a number. The routing below is written out on its own.
TEST_F(MixFixture, DistinctValuesPinEveryRouteAndEveryAxisLimit) {
  struct Route {
    int slot;
    int index;
    bool limited;
  };
  const Route mainRoutes[] = {{0, 3, true},  {1, 7, true},  {2, 11, true}, {3, 14, true}, {4, 17, true},
                              {5, 20, true}, {6, 3, true},  {7, 7, true},  {8, 16, false}, {9, 19, false}};
  const Route beltRoutes[] = {{11, 7, false}, {12, 11, false}, {13, 17, false}, {14, 20, false}};
  const int beltWeightIndex[] = {1, 2, 4, 5};  // of slots 11..14
  const double beltWeights[] = {0.0, 0.5, 0.25, 100.0, 0.125, 2.0};  // index 3 takes no part
  for (int i = 1; i < kGameDataCount; ++i) data[i] = 1000.0 + i;
  const auto airGain = [](int slot) { return slot + 1.0; };
  const auto groundGain = [](int slot) { return slot + 30.5; };
  const auto effect = [](int slot) { return 0.5 * (slot - 14); };
  for (int slot = 0; slot < kCueSlotCount; ++slot) {
    const bool isEffect = slot >= 15 && slot <= 20;
    const std::string air = isEffect ? "ADD(VALUE;" + std::to_string(effect(slot)) + ")"
                                     : "GAIN(VALUE;" + std::to_string(airGain(slot)) + ")";
    ASSERT_TRUE(engine.installFilterString(0, slot, air.c_str())) << air;
    ASSERT_TRUE(engine.installFilterString(1, slot, ("GAIN(VALUE;" + std::to_string(groundGain(slot)) + ")").c_str()));
  }
  for (int slot = 0; slot < 8; ++slot) engine.setInputLimit(slot, -1e6, 1e6);
  engine.setInputLimit(2, -1e6, 1005.0);  // heave's input is clamped
  for (int index = 0; index < 6; ++index) engine.setBeltMix(0, index, beltWeights[index]);
  for (int index = 0; index < 6; ++index) engine.setBeltMix(1, index, 1000.0);  // never used
  // Even axes: the maximum wins; odd axes: the minimum wins. Each its own.
  for (int axis = 0; axis < 6; ++axis) {
    if (axis % 2 == 0) {
      engine.setRigLimit(axis, -1e7, axis + 0.25);
    } else {
      engine.setRigLimit(axis, 1e7 + axis, 2e7);
    }
  }
  // Non-finite bounds are refused: the limits above stay.
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  for (int axis = 0; axis < 6; ++axis) {
    engine.setRigLimit(axis, nan, nan);
    engine.setRigLimit(axis, -inf, inf);
  }
  engine.setInputLimit(0, nan, 1.0);

  const auto input = [&](const Route& r) { return r.slot == 2 ? 1005.0 : data[r.index]; };
  for (const int ground : {0, 1}) {
    SCOPED_TRACE(ground);
    game->setGround(ground);
    for (int step = 0; step < 101; ++step) engine.selectProfile();  // any transition has ended
    double a[23] = {}, g[23] = {};
    for (const Route& r : mainRoutes) {
      a[r.slot] = ground == 0 ? airGain(r.slot) * input(r) : 0.0;
      g[r.slot] = ground == 1 ? groundGain(r.slot) * input(r) : 0.0;
    }
    double beltSum = 0.0;
    for (const Route& r : beltRoutes) {
      a[r.slot] = airGain(r.slot) * data[r.index];
      beltSum += beltWeights[beltWeightIndex[r.slot - 11]] * a[r.slot];
    }
    a[10] = airGain(10) * beltSum;
    a[21] = airGain(21) * data[28];
    for (int slot = 15; slot <= 20; ++slot) a[slot] = effect(slot);
    double o[23] = {};
    for (int i = 0; i < 4; ++i) o[i] = a[i] + a[15 + i] + g[i];
    o[4] = a[4] + g[4] + a[6] + g[6] + a[8] + g[8] + a[19];
    o[5] = a[5] + g[5] + a[7] + g[7] + a[9] + g[9] + a[20];
    for (int i : {6, 7, 8, 9, 10, 21}) o[i] = a[i] + g[i];

    EXPECT_EQ(data[42], beltSum);
    for (int slot = 0; slot < kCueSlotCount; ++slot) {
      SCOPED_TRACE(slot);
      EXPECT_DOUBLE_EQ(airCues[slot], a[slot]);
      EXPECT_DOUBLE_EQ(groundCues[slot], g[slot]);
      if (slot <= 10 || slot == 21) {
        EXPECT_DOUBLE_EQ(outputCues[slot], o[slot]);
      }
    }
    for (int channel = 0; channel < kRateLimitedChannels; ++channel) engine.setOutputRateLimit(channel, 0.0);
    engine.sendOutput();
    uint8_t frame[kOutputFrameSize];
    engine.copyOutputFrame(frame);
    const MotionFrameValues sent = decodeMotionFrame(frame);
    for (int axis = 0; axis < 6; ++axis) {
      const double limit = axis % 2 == 0 ? axis + 0.25 : 1e7 + axis;
      ASSERT_LT(o[axis], 1e7);  // so that the odd axes' minimum must win
      EXPECT_EQ(sent.axes[static_cast<size_t>(axis)], static_cast<float>(limit)) << axis;
    }
    EXPECT_EQ(sent.belt, o[10] <= 0.0 ? 0u : static_cast<uint32_t>(static_cast<float>(o[10])));
    EXPECT_EQ(sent.fan, static_cast<uint32_t>(static_cast<float>(o[21])));
  }
}

}  // namespace
}  // namespace portrelay
