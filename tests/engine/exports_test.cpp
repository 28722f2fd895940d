// The engine's exported surface: defaults, bounds and effects, through the C ABI.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <span>
#include <string>

#include "engine/motion_engine.h"
#include "engine/whole_percent.h"
#include "portrelay/portrelay.h"

namespace portrelay {
namespace {

MotionEngine& engine() { return MotionEngine::instance(); }

// A fresh engine's defaults, read as the getters read them (a private
// engine: the process-wide one carries what earlier tests, in any order, did).
TEST(EngineExports, DefaultsBeforeStart) {
  MotionEngine fresh;
  EXPECT_EQ(fresh.activeProfile(), 0);
  EXPECT_EQ(fresh.airTransitionStatus(), 100.0);
  EXPECT_EQ(fresh.groundTransitionStatus(), 0.0);
  EXPECT_EQ(fresh.transitionStatus(), 100.0);
  EXPECT_EQ(fresh.games().getGameID(), -1);
  EXPECT_EQ(fresh.games().record().timeFrame, 0.0);
  EXPECT_EQ(getGameDataCount(), 44);
  EXPECT_EQ(fresh.stalls().longCycles, 0);
  EXPECT_EQ(fresh.stalls().longestMs, 0.0);
  int32_t longCycles = -1;
  double longestMs = -1.0;
  getEngineStalls(&longCycles, &longestMs);  // the process-wide engine: what earlier tests left
  EXPECT_GE(longCycles, 0);
  EXPECT_GE(longestMs, 0.0);
  getEngineStalls(nullptr, nullptr);  // ignored

  uint8_t frame[36];
  std::memset(frame, 0xAA, sizeof frame);
  fresh.copyOutputFrame(frame);
  for (uint8_t byte : frame) EXPECT_EQ(byte, 0);
  getOutputData(nullptr);  // ignored

  char name[21] = {};
  fresh.games().getGameName(name);
  EXPECT_STREQ(name, "No Game online");
}

TEST(EngineExports, GameDataAndNames) {
  double* data = nullptr;
  int32_t count = 0;
  getGameData(&data, &count);
  EXPECT_EQ(count, 43);
  ASSERT_EQ(data, engine().games().record().data);
  // Before any game (the process-wide record holds what earlier tests' games left).
  MotionEngine fresh;
  for (int i = 0; i < 43; ++i) EXPECT_EQ(fresh.games().record().data[i], 0.0) << i;

  const char* first = nullptr;
  count = 0;
  getGameDataNames(&first, &count);
  EXPECT_EQ(count, 43);
  ASSERT_NE(first, nullptr);
  EXPECT_STREQ(first, "lateral_speed");
  EXPECT_STREQ(first + 16 * 2, "lateral_accel_g");
  EXPECT_STREQ(first + 16 * 27, "speed");  // index 28
  EXPECT_STREQ(first + 16 * 40, "simtools_axis4b");
  EXPECT_STREQ(first + 16 * 41, "");
  EXPECT_STREQ(first + 16 * 42, "");
}

TEST(EngineExports, MotionCueDataKinds) {
  double* data = nullptr;
  int32_t count = 0;
  const int32_t kinds[] = {MotionEngine::kAirCues, MotionEngine::kGroundCues, MotionEngine::kOutputCues,
                           MotionEngine::kFadeStart};
  for (int kind = 0; kind < 4; ++kind) {
    getMotionCueData(kind, &data, &count);
    EXPECT_EQ(data, engine().cues(kinds[kind]).data());
    EXPECT_EQ(count, 23);
  }
  double* untouched = reinterpret_cast<double*>(0x1234);
  int32_t untouchedCount = 77;
  getMotionCueData(4, &untouched, &untouchedCount);
  getMotionCueData(-1, &untouched, &untouchedCount);
  EXPECT_EQ(untouched, reinterpret_cast<double*>(0x1234));
  EXPECT_EQ(untouchedCount, 77);
}

TEST(EngineExports, LimitsAndWeightsBounds) {
  SetRigDofLimitValue(0, -1.0, 1.0);
  EXPECT_EQ(engine().rigLimit(0).min, -1.0);
  EXPECT_EQ(engine().rigLimit(0).max, 1.0);
  SetRigDofLimitValue(22, -2.0, 2.0);
  EXPECT_EQ(engine().rigLimit(22).max, 2.0);
  SetRigDofLimitValue(-1, 5.0, 6.0);
  SetRigDofLimitValue(23, 5.0, 6.0);
  for (int32_t slot = 0; slot < kCueSlotCount; ++slot) EXPECT_NE(engine().rigLimit(slot).max, 6.0);

  SetInputDofLimitValue(7, -3.0, 3.0);
  EXPECT_EQ(engine().inputLimit(7).min, -3.0);
  SetInputDofLimitValue(8, -1.0, 1.0);
  EXPECT_EQ(engine().inputLimit(8).min, -360.0);
  EXPECT_EQ(engine().inputLimit(8).max, 360.0);
  SetInputDofLimitValue(9, 0.0, 0.0);
  EXPECT_EQ(engine().inputLimit(9).max, 360.0);
  SetInputDofLimitValue(12, -4.0, 4.0);
  SetInputDofLimitValue(-3, -4.0, 4.0);
  for (int32_t slot = 0; slot < kCueSlotCount; ++slot) EXPECT_NE(engine().inputLimit(slot).max, 4.0);

  setBelt_Mix(0, 42, 0.5);
  EXPECT_EQ(engine().profile(0)->beltMix[42].load(), 0.5);
  setBelt_Mix(1, 1, 0.25);
  EXPECT_EQ(engine().profile(1)->beltMix[1].load(), 0.25);
  setBelt_Mix(1, 43, 9.0);
  setBelt_Mix(2, 0, 9.0);
  setBelt_Mix(-1, 0, 9.0);
  for (auto& w : engine().profile(1)->beltMix) EXPECT_NE(w.load(), 9.0);
  for (auto& w : engine().profile(0)->beltMix) EXPECT_NE(w.load(), 9.0);
}

TEST(EngineExports, ActiveAxisStoresLowByteAndAlwaysRestartsFade) {
  engine().setFadeProgress(1.0);
  setActiveAxis(1, 4, 0x100);  // low byte 0
  EXPECT_EQ(engine().profile(1)->activeSlots[4].load(), 0);
  EXPECT_EQ(getTransitionStatus(), 0.0);

  engine().setFadeProgress(1.0);
  setActiveAxis(2, 0, 1);  // no such profile: nothing stored, fade restarted
  EXPECT_EQ(getTransitionStatus(), 0.0);
  engine().setFadeProgress(1.0);
  setActiveAxis(0, 23, 0);
  EXPECT_EQ(engine().profile(0)->activeSlots[22].load(), 1);
  EXPECT_EQ(getTransitionStatus(), 0.0);
}

TEST(EngineExports, MotionSystemReadyRestartsFadeOnChangeOnly) {
  setMotionsystemready(0);  // from not ready, whatever an earlier test left
  engine().setFadeProgress(1.0);
  setMotionsystemready(1);
  EXPECT_TRUE(engine().isMotionSystemReady());
  EXPECT_EQ(getTransitionStatus(), 0.0);

  engine().setFadeProgress(1.0);
  setMotionsystemready(1);  // no change
  EXPECT_EQ(getTransitionStatus(), 100.0);
  setMotionsystemready(2);
  EXPECT_EQ(getTransitionStatus(), 100.0);
  EXPECT_TRUE(engine().isMotionSystemReady());

  setMotionsystemready(0);
  EXPECT_FALSE(engine().isMotionSystemReady());
  EXPECT_EQ(getTransitionStatus(), 0.0);
}

// The fade starts where the rig is: from the last frame sent (its axes as
// the rig limits let them out), not from outputs computed since; for every
// restart, a configuration change or a filter string. A private engine, so
// that the process-wide one keeps its defaults.
TEST(EngineExports, RestartFadeStartsFromTheLastFrameSent) {
  MotionEngine local;
  const std::span<double> outputs = local.cues(MotionEngine::kOutputCues);
  for (int i = 0; i < 23; ++i) outputs[i] = i * 1.5;
  local.sendOutput();
  for (int i = 0; i < 23; ++i) outputs[i] = 100.0 + i;
  for (const auto& restart : std::initializer_list<std::function<void()>>{
           [&] { local.setActiveAxis(0, 0, 1); }, [&] { local.installFilterString(0, 3, "GAIN(VALUE;2)"); }}) {
    local.setFadeProgress(1.0);
    restart();
    EXPECT_EQ(local.fadeProgress(), 0.0);
    const std::span<const double> fadeStart = local.cues(MotionEngine::kFadeStart);
    for (int i = 0; i < 23; ++i) EXPECT_EQ(fadeStart[i], i < 6 ? 0.0 : i * 1.5) << i;  // limits (0, 0)
  }
}

// The status getters' percent: truncated toward zero, at most 100 (NaN
// too), and for the weights at least 0.
TEST(EngineExports, StatusTruncationAndLimits) {
  const struct {
    double fraction;
    bool limitBelow;
    double percent;
  } cases[] = {{0.0999, false, 9.0},    {1.0, false, 100.0},          {1.0000000000000007, true, 100.0},
               {-0.5, true, 0.0},       {-0.5, false, -50.0},         {0.10999999, true, 10.0},
               {NAN, true, 100.0},      {1e300, false, 100.0},        {-1e300, true, 0.0},
               {-1e300, false, -2147483648.0}};
  for (const auto& c : cases)
    EXPECT_EQ(wholePercent(c.fraction, c.limitBelow), c.percent) << c.fraction << " " << c.limitBelow;
  engine().setFadeProgress(0.0999);
  EXPECT_EQ(getTransitionStatus(), 9.0);
  engine().setFadeProgress(1.0);
  EXPECT_EQ(getTransitionStatus(), 100.0);
  EXPECT_EQ(getProfilAirTransitionStatus(), wholePercent(engine().profileWeight(0), true));
  EXPECT_EQ(getProfilGrdTransitionStatus(), wholePercent(engine().profileWeight(1), true));
}

}  // namespace
}  // namespace portrelay
