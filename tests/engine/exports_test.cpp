// The engine's exported surface: defaults, bounds and effects, through the C ABI.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

#include "engine/filter_install.h"
#include "engine/motion_engine.h"
#include "portrelay/portrelay.h"

namespace portrelay {
namespace {

MotionEngine& engine() { return MotionEngine::instance(); }

// A fresh engine's defaults, read as the getters read them (a private
// engine: the process-wide one carries what earlier tests, in any order, did).
TEST(EngineExports, DefaultsBeforeStart) {
  MotionEngine fresh;
  EXPECT_EQ(fresh.activeProfile.load(), 0);
  EXPECT_EQ(fresh.airTransitionStatus(), 100.0);
  EXPECT_EQ(fresh.groundTransitionStatus(), 0.0);
  EXPECT_EQ(fresh.transitionStatus(), 100.0);
  EXPECT_EQ(fresh.games.getGameID(), -1);
  EXPECT_EQ(fresh.games.record().timeFrame, 0.0);
  EXPECT_EQ(getGameDataCount(), 44);
  EXPECT_EQ(fresh.cycleStalls.longCycles(), 0);
  EXPECT_EQ(fresh.cycleStalls.longestMs(0), 0.0);
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
  fresh.games.getGameName(name);
  EXPECT_STREQ(name, "No Game online");
}

TEST(EngineExports, GameDataAndNames) {
  double* data = nullptr;
  int32_t count = 0;
  getGameData(&data, &count);
  EXPECT_EQ(count, 43);
  ASSERT_EQ(data, engine().games.record().data);
  // Before any game (the process-wide record holds what earlier tests' games left).
  MotionEngine fresh;
  for (int i = 0; i < 43; ++i) EXPECT_EQ(fresh.games.record().data[i], 0.0) << i;

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
  const double* expected[] = {engine().airCues, engine().groundCues, engine().outputCues, engine().fadeStart};
  for (int kind = 0; kind < 4; ++kind) {
    getMotionCueData(kind, &data, &count);
    EXPECT_EQ(data, expected[kind]);
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
  EXPECT_EQ(engine().rigLimits[0].min.load(), -1.0);
  EXPECT_EQ(engine().rigLimits[0].max.load(), 1.0);
  SetRigDofLimitValue(22, -2.0, 2.0);
  EXPECT_EQ(engine().rigLimits[22].max.load(), 2.0);
  SetRigDofLimitValue(-1, 5.0, 6.0);
  SetRigDofLimitValue(23, 5.0, 6.0);
  for (auto& limit : engine().rigLimits) EXPECT_NE(limit.max.load(), 6.0);

  SetInputDofLimitValue(7, -3.0, 3.0);
  EXPECT_EQ(engine().inputLimits[7].min.load(), -3.0);
  SetInputDofLimitValue(8, -1.0, 1.0);
  EXPECT_EQ(engine().inputLimits[8].min.load(), -360.0);
  EXPECT_EQ(engine().inputLimits[8].max.load(), 360.0);
  SetInputDofLimitValue(9, 0.0, 0.0);
  EXPECT_EQ(engine().inputLimits[9].max.load(), 360.0);
  SetInputDofLimitValue(12, -4.0, 4.0);
  SetInputDofLimitValue(-3, -4.0, 4.0);
  for (auto& limit : engine().inputLimits) EXPECT_NE(limit.max.load(), 4.0);

  setBelt_Mix(0, 42, 0.5);
  EXPECT_EQ(engine().airProfile.beltMix[42].load(), 0.5);
  setBelt_Mix(1, 1, 0.25);
  EXPECT_EQ(engine().groundProfile.beltMix[1].load(), 0.25);
  setBelt_Mix(1, 43, 9.0);
  setBelt_Mix(2, 0, 9.0);
  setBelt_Mix(-1, 0, 9.0);
  for (auto& w : engine().groundProfile.beltMix) EXPECT_NE(w.load(), 9.0);
  for (auto& w : engine().airProfile.beltMix) EXPECT_NE(w.load(), 9.0);
}

TEST(EngineExports, ActiveAxisStoresLowByteAndAlwaysRestartsFade) {
  engine().fadePosition = 1.0;
  setActiveAxis(1, 4, 0x100);  // low byte 0
  EXPECT_EQ(engine().groundProfile.activeSlots[4].load(), 0);
  EXPECT_EQ(getTransitionStatus(), 0.0);

  engine().fadePosition = 1.0;
  setActiveAxis(2, 0, 1);  // no such profile: nothing stored, fade restarted
  EXPECT_EQ(getTransitionStatus(), 0.0);
  engine().fadePosition = 1.0;
  setActiveAxis(0, 23, 0);
  EXPECT_EQ(engine().airProfile.activeSlots[22].load(), 1);
  EXPECT_EQ(getTransitionStatus(), 0.0);
}

TEST(EngineExports, MotionSystemReadyRestartsFadeOnChangeOnly) {
  setMotionsystemready(0);  // from not ready, whatever an earlier test left
  engine().fadePosition = 1.0;
  setMotionsystemready(1);
  EXPECT_EQ(engine().motionSystemReady.load(), 1);
  EXPECT_EQ(getTransitionStatus(), 0.0);

  engine().fadePosition = 1.0;
  setMotionsystemready(1);  // no change
  EXPECT_EQ(getTransitionStatus(), 100.0);
  setMotionsystemready(2);
  EXPECT_EQ(getTransitionStatus(), 100.0);
  EXPECT_EQ(engine().motionSystemReady.load(), 1);

  setMotionsystemready(0);
  EXPECT_EQ(engine().motionSystemReady.load(), 0);
  EXPECT_EQ(getTransitionStatus(), 0.0);
}

// The fade starts where the rig is: from the last frame sent (its axes as
// the rig limits let them out), not from outputs computed since; for every
// restart, a configuration change or a filter string. A private engine, so
// that the process-wide one keeps its defaults.
TEST(EngineExports, RestartFadeStartsFromTheLastFrameSent) {
  MotionEngine local;
  for (int i = 0; i < 23; ++i) local.outputCues[i] = i * 1.5;
  local.sendOutput();
  for (int i = 0; i < 23; ++i) local.outputCues[i] = 100.0 + i;
  for (const auto& restart : std::initializer_list<std::function<void()>>{
           [&] { local.setActiveAxis(0, 0, 1); }, [&] { installFilterString(local, 0, 3, "GAIN(VALUE;2)"); }}) {
    local.fadePosition.store(1.0);
    restart();
    EXPECT_EQ(local.fadePosition.load(), 0.0);
    for (int i = 0; i < 23; ++i) EXPECT_EQ(local.fadeStart[i], i < 6 ? 0.0 : i * 1.5) << i;  // limits (0, 0)
  }
}

TEST(EngineExports, StatusTruncationAndLimits) {
  engine().fadePosition = 0.0999;
  EXPECT_EQ(getTransitionStatus(), 9.0);
  engine().fadePosition = 1.0;
  EXPECT_EQ(getTransitionStatus(), 100.0);
  engine().airWeight = 1.0000000000000007;
  EXPECT_EQ(getProfilAirTransitionStatus(), 100.0);
  engine().groundWeight = -0.5;
  EXPECT_EQ(getProfilGrdTransitionStatus(), 0.0);
  engine().groundWeight = 0.10999999;
  EXPECT_EQ(getProfilGrdTransitionStatus(), 10.0);
  engine().airWeight = 1.0;
  engine().groundWeight = 0.0;
}

}  // namespace
}  // namespace portrelay
