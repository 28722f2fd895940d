// Motion cancel (the pose section another program reads) and the snapshot
// histories the host drains.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <limits>
#include <sstream>
#include <thread>
#include <vector>

#include "engine/motion_engine.h"
#include "gamesim/assetto_corsa_sim.h"
#include "gamesim/simulation_runner.h"
#include "tools/platform/child_process.h"
#include "platform/processes.h"
#include "platform/shared_memory.h"
#include "portrelay/portrelay.h"
#include "support/game_fixtures.h"
#include "support/temp_dir.h"
#include "support/test_game.h"

namespace portrelay {

void installSupportedGames(GameSource& source);  // every game's own reader

namespace {

using namespace std::chrono_literals;
using Pose = std::array<double, 6>;

// The six doubles at offset 0 as another program reads them: little-endian.
std::optional<Pose> readPoseSection() {
  auto memory = platform::SharedMemory::openExisting("Local\\motionRigPose", platform::ViewAccess::ReadOnly);
  if (!memory.valid()) return std::nullopt;
  auto view = platform::SharedView::map(memory, platform::ViewAccess::ReadOnly, 48);
  if (!view.valid()) return std::nullopt;
  Pose pose{};
  for (size_t i = 0; i < pose.size(); ++i) {
    uint64_t bits = 0;
    for (int b = 7; b >= 0; --b) bits = bits << 8 | view.data()[8 * i + static_cast<size_t>(b)];
    std::memcpy(&pose[i], &bits, sizeof bits);
  }
  return pose;
}

struct PoseFixture : ::testing::Test {
  testing::IsolatedGames scope;  // a private name for the section
  MotionEngine engine;

  void cycle(const Pose& outputs) {
    for (int i = 0; i < 6; ++i) engine.cues(MotionEngine::kOutputCues)[i] = outputs[static_cast<size_t>(i)];
    engine.publishPose();
  }
};

TEST_F(PoseFixture, SmoothingGainAndActivation) {
  // Not active: nothing is stored, and no section exists yet.
  EXPECT_FALSE(engine.setMotionCancelFilter(10.0));
  EXPECT_FALSE(engine.setMotionCancelGain(2.0));
  EXPECT_FALSE(readPoseSection().has_value());

  engine.activateMotionCancel(true);
  ASSERT_TRUE(readPoseSection().has_value());
  EXPECT_EQ(engine.motionCancelSettings().filter, 60.0);
  EXPECT_EQ(engine.motionCancelSettings().gain, 1.0);  // the refused 2.0 was not kept

  // Default filter 60: a step from 0 to 60 publishes 1.0 after the first cycle.
  cycle({60, 60, 60, 60, 60, 60});
  EXPECT_EQ(*readPoseSection(), (Pose{1, 1, 1, 1, 1, 1}));

  // Filter 1.0: gain x outputs of the same cycle.
  EXPECT_TRUE(engine.setMotionCancelFilter(1.0));
  EXPECT_TRUE(engine.setMotionCancelGain(-0.5));
  cycle({1, 2, 3, 4, 5, 6});
  EXPECT_EQ(*readPoseSection(), (Pose{-0.5, -1, -1.5, -2, -2.5, -3}));

  // Values that would divide by zero, overshoot or poison the pose are refused.
  for (double bad : {0.0, 0.5, -3.0, std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()})
    EXPECT_FALSE(engine.setMotionCancelFilter(bad)) << bad;
  EXPECT_FALSE(engine.setMotionCancelGain(std::numeric_limits<double>::quiet_NaN()));
  EXPECT_EQ(engine.motionCancelSettings().filter, 1.0);

  // Gain 0 with filter 4: the pose decays by 3/4 each cycle.
  EXPECT_TRUE(engine.setMotionCancelFilter(4.0));
  EXPECT_TRUE(engine.setMotionCancelGain(0.0));
  double expected = -3.0;
  for (int n = 0; n < 20; ++n) {
    cycle({9, 9, 9, 9, 9, 9});
    expected *= 0.75;
    EXPECT_DOUBLE_EQ((*readPoseSection())[5], expected) << n;
  }
  // A NaN output holds the pose instead of publishing it.
  cycle({0, 0, 0, 0, 0, std::numeric_limits<double>::quiet_NaN()});
  EXPECT_DOUBLE_EQ((*readPoseSection())[5], expected);

  // A second activation puts the filter back to 60 and keeps the gain.
  engine.activateMotionCancel(true);
  EXPECT_EQ(engine.motionCancelSettings().filter, 60.0);
  EXPECT_EQ(engine.motionCancelSettings().gain, 0.0);

  // Deactivation releases the section; the pose is kept and smoothing resumes
  // from it when activated again.
  engine.activateMotionCancel(false);
  engine.activateMotionCancel(false);  // a second release does nothing
  EXPECT_FALSE(readPoseSection().has_value());
  cycle({1, 1, 1, 1, 1, 1});  // a cycle without a section: nothing is written
  engine.activateMotionCancel(true);
  EXPECT_TRUE(engine.setMotionCancelFilter(1.0));
  EXPECT_TRUE(engine.setMotionCancelGain(1.0));
  cycle({7, 7, 7, 7, 7, 7});
  EXPECT_EQ((*readPoseSection())[0], 7.0);
}

// The histories, driven cycle by cycle.
TEST(Snapshots, RecordsDrainAndBound) {
  MotionEngine engine;
  int32_t count = -1;
  EXPECT_EQ(engine.drainCalculationSnapshots(&count), nullptr);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(engine.drainAccelerationSnapshots(&count), nullptr);
  EXPECT_EQ(count, 0);

  // Values 11..20 come from airCues, the others from outputCues.
  for (int i = 0; i < kCueSlotCount; ++i) {
    engine.cues(MotionEngine::kAirCues)[i] = 100.0 + i;
    engine.cues(MotionEngine::kOutputCues)[i] = 200.0 + i;
  }
  engine.recordSnapshots();
  CalculationSnapshot* calculation = engine.drainCalculationSnapshots(&count);
  ASSERT_EQ(count, 1);
  for (int i = 0; i < kCueSlotCount; ++i) {
    const double expected = (i >= 11 && i <= 20 ? 100.0 : 200.0) + i;
    EXPECT_EQ(calculation[0].values[i], expected) << i;
    EXPECT_EQ(engine.positionSnapshot()[i], expected) << i;
  }
  FreeAccelerationSnapshots(calculation[0].values);  // one routine frees either kind
  AccelerationSnapshot* acceleration = engine.drainAccelerationSnapshots(&count);
  ASSERT_EQ(count, 1);
  FreeCalculationSnapshots(acceleration[0].values);

  // 200 cycles without a drain: the newest 150, oldest first; then nothing.
  double* data = engine.games().record().data;
  for (int n = 0; n < 200; ++n) {
    data[5] = n;
    data[42] = -n;
    engine.cues(MotionEngine::kOutputCues)[0] = n;
    engine.recordSnapshots();
  }
  acceleration = engine.drainAccelerationSnapshots(&count);
  ASSERT_EQ(count, 150);
  for (int r = 0; r < 150; ++r) {
    EXPECT_EQ(acceleration[r].values[5], 50.0 + r) << r;
    EXPECT_EQ(acceleration[r].values[42], -(50.0 + r)) << r;
  }
  releaseDrained(acceleration);
  calculation = engine.drainCalculationSnapshots(&count);
  ASSERT_EQ(count, 150);
  EXPECT_EQ(calculation[149].values[0], 199.0);
  releaseDrained(calculation);
  EXPECT_EQ(engine.drainAccelerationSnapshots(&count), nullptr);
  EXPECT_EQ(count, 0);

  // Two drains one cycle apart: one record each.
  for (int drains = 0; drains < 2; ++drains) {
    engine.recordSnapshots();
    calculation = engine.drainCalculationSnapshots(&count);
    EXPECT_EQ(count, 1);
    releaseDrained(calculation);
  }
  FreeCalculationSnapshots(nullptr);
}

// The host drains both histories through the exports while the engine runs:
// every record arrives once, in order, and no drain holds more than 150.
TEST(Snapshots, HostDrainsWhileTheEngineRuns) {
  MotionEngine& engine = MotionEngine::instance();
  for (int id = 0; id < kGameCount; ++id) engine.games().installReader(id, nullptr);
  auto owned = std::make_unique<testing::TestGame>();
  owned->onRead = [](SampleRecord& record, int n) {
    record.data[5] = n;  // numbers every cycle's game data
    record.data[3] = n * 1e-3;
    return true;
  };
  engine.games().installReader(3, std::move(owned));
  engine.games().setDetectionPauseMs(0);
  int32_t stale = 0;  // records of an earlier test's run (the binary run whole or shuffled)
  FreeAccelerationSnapshots(GetAccelerationSnapshots(&stale));
  FreeCalculationSnapshots(GetCalculationSnapshots(&stale));
  setMotionsystemready(1);
  ASSERT_NE(startGamesource_Thread(), 0);

  double lastNumber = 0.0;
  int accelerationRecords = 0, calculationRecords = 0, gaps = 0, drains = 0;
  const auto end = std::chrono::steady_clock::now() + 1500ms;
  while (std::chrono::steady_clock::now() < end) {
    int32_t count = 0;
    double* records = GetAccelerationSnapshots(&count);
    EXPECT_LE(count, 150);
    for (int r = 0; r < count; ++r) {
      const double number = records[43 * r + 5];
      if (number != lastNumber + 1.0 && lastNumber != 0.0) ++gaps;
      lastNumber = number;
    }
    accelerationRecords += count;
    FreeAccelerationSnapshots(records);
    records = GetCalculationSnapshots(&count);
    EXPECT_LE(count, 150);
    calculationRecords += count;
    FreeCalculationSnapshots(records);
    ++drains;
    std::this_thread::sleep_for(20ms);  // about 10 cycles between drains
  }
  stopGamesource_Thread();
  int32_t count = 0;
  FreeAccelerationSnapshots(GetAccelerationSnapshots(&count));
  accelerationRecords += count;
  FreeCalculationSnapshots(GetCalculationSnapshots(&count));
  calculationRecords += count;

  // The shared engine gets its games back for the tests after this one.
  installSupportedGames(engine.games());
  engine.games().setDetectionPauseMs(10);

  EXPECT_EQ(gaps, 0);
  EXPECT_GT(accelerationRecords, 300);  // about 500 a second
  EXPECT_EQ(calculationRecords, accelerationRecords);
  EXPECT_GT(drains, 20);
  const double* position = GetPositionSnapshot();
  EXPECT_EQ(position, engine.positionSnapshot());
}

// The pose as a separate program sees it: gamesim drives the engine through
// the exports, and posereader maps the section in its own process. The
// outputs are constants from the effect slots once the fade has ended, so the
// published pose must follow pose(n) = k (1 - (59/60)^n) and converge to k.
TEST(PoseSection, AnotherProcessSeesThePoseConverge) {
  testing::IsolatedGames scope;
  testing::TempDir folder;
  const std::string logPath = (folder.path() / "pose.txt").string();
  gamesim::AssettoCorsaSim game;
  ASSERT_TRUE(game.start());
  gamesim::SimulationRunner lap(game, 500.0);
  lap.start();
  const Pose constants = {0.5, -0.25, 1.5, -2.0, 0.75, 3.0};
  for (int axis = 0; axis < 6; ++axis) {
    const std::string chain = "ADD(VALUE;" + std::to_string(constants[static_cast<size_t>(axis)]) + ")";
    ASSERT_TRUE(setcheckFilterstring(0, 15 + axis, chain.c_str()));
  }
  for (int slot : {8, 9}) setActiveAxis(0, slot, 0);  // the lap's attitude stays out
  // Input limits an earlier test set (the binary run whole) would let the lap in.
  for (int slot = 0; slot < 8; ++slot) SetInputDofLimitValue(slot, 0.0, 0.0);
  setMotionsystemready(1);
  // A pose section an earlier test left open has its name in that test's
  // namespace: closed here, the engine thread opens it in this one.
  activateMotionCancel(0);
  ASSERT_NE(startGamesource_Thread(), 0);
  ASSERT_TRUE(testing::waitUntil([] { return getGameID() == 3 && getTransitionStatus() == 100.0; }, 20s));
  // The section exists since the engine thread started; the reader maps it,
  // watches until the pose has converged and stays still, and ends by itself,
  // writing its log.
  auto reader = platform::ChildProcess::launch(
      (std::filesystem::path(platform::executableDirectory()) / (std::string("posereader") + platform::kExecutableSuffix))
          .string(),
      "posereader", {"--out", logPath, "--seconds", "40", "--poll-us", "500", "--until-still", "300", "--namespace", scope.objectNamespace()});
  ASSERT_NE(reader, nullptr);
  activateMotionCancel(1);
  EXPECT_EQ(reader->wait(45000), 0);
  activateMotionCancel(0);
  stopGamesource_Thread();
  lap.stop();

  std::ifstream log(logPath);
  ASSERT_TRUE(log.good());
  std::vector<Pose> seen;
  for (std::string line; std::getline(log, line);) {
    std::istringstream fields(line);
    long long ns = 0;
    Pose pose{};
    fields >> ns;
    for (double& v : pose) fields >> v;
    if (fields) seen.push_back(pose);
  }
  ASSERT_GT(seen.size(), 100u);
  // Each value stands for a whole cycle of the curve, and no axis ever goes
  // back. The section carries no sequence marker, so one read may take its
  // six values from different cycles (a reader preempted while copying).
  std::array<int, 6> lastCycle{};
  for (size_t s = 0; s < seen.size(); ++s) {
    for (size_t axis = 0; axis < 6; ++axis) {
      const double n = std::log(1.0 - seen[s][axis] / constants[axis]) / std::log(59.0 / 60.0);
      if (!std::isfinite(n) || n > 3000.0) continue;  // converged to k within a double
      const int cycle = static_cast<int>(std::lround(n));
      ASSERT_NEAR(seen[s][axis], constants[axis] * (1.0 - std::pow(59.0 / 60.0, cycle)), 1e-9) << s << " " << axis;
      ASSERT_GE(cycle, lastCycle[axis]) << s << " " << axis;
      lastCycle[axis] = cycle;
    }
  }
  for (size_t axis = 0; axis < 6; ++axis) EXPECT_NEAR(seen.back()[axis], constants[axis], 1e-12) << axis;
}

}  // namespace
}  // namespace portrelay
