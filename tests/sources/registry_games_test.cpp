// The nine network games end to end through the registry: gamesim sends the
// lap on loopback, the registry detects the game, attaches and reads, and the
// record carries the lap.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "gamesim/simulation_runner.h"
#include "gamesim/udp_games_sim.h"
#include "sources/network_fixtures.h"
#include "platform/processes.h"
#include "sources/game_source.h"
#include "support/game_fixtures.h"
#include "support/motion_expectations.h"

namespace portrelay {
namespace {

using namespace channel;
using namespace std::chrono_literals;
using testing::waitUntil;

struct NetworkGameCase {
  const char* key;
  int id;
  const char* executable;  // the process detection also needs, "" when none
  std::vector<int> channels;
};

std::vector<int> join(std::vector<int> a, const std::vector<int>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}
const std::vector<int> kAttitude = {yaw_position, roll_position, pitch_position};
const std::vector<int> kRates = {yaw_speed, roll_speed, pitch_speed};
const std::vector<int> kAccelerations = {lateral_accel, longitu_accel, vertica_accel};
const std::vector<int> kSpeeds = {lateral_speed, longitu_speed, vertica_speed};
const std::vector<int> kAngular = {yaw_accel, roll_accel, pitch_accel};
const std::vector<int> kTurning = join(kAttitude, kRates);

const NetworkGameCase kGames[] = {
    {"xplane", 0, "X-Plane.exe", join(join(kTurning, kAccelerations), {speed})},
    {"dcs", 1, "DCS.exe", join(join(kTurning, kAccelerations), kSpeeds)},
    {"dirt-rally2", 5, "", join(join(kTurning, kAccelerations), kAngular)},
    {"condor2", 6, "", join(join(kTurning, kAccelerations), kSpeeds)},
    {"f1", 7, "F1_24.exe", join(kAttitude, kAccelerations)},  // rates in the car's axes: f1_rotation_rates_test
    {"nolimits2", 8, "", join(join(kAttitude, kAccelerations), {speed})},
    {"wrc", 11, "", join(join(kAttitude, kAccelerations), kSpeeds)},
    {"beamng", 12, "", join(join(join(kTurning, kAccelerations), kSpeeds), kAngular)},
    {"lfs", 13, "LFS.exe", join(kTurning, kAccelerations)},
};

void PrintTo(const NetworkGameCase& c, std::ostream* out) { *out << c.key; }

class NetworkGame : public ::testing::TestWithParam<NetworkGameCase> {
 protected:
  testing::IsolatedGames scope;  // first: the endpoints log into its folder
  GameSource source;
  gamesim::LapMotion lap;
  uint16_t port = 0;
  std::unique_ptr<gamesim::GameSim> game;
  std::unique_ptr<platform::ChildProcess> process;

  NetworkGame() { source.setDetectionPauseMs(0); }

  // The game runs (and streams, while detection looks) and is attached.
  void startAndAttach(const NetworkGameCase& c) {
    game = testing::networkGame(c.key, port);
    ASSERT_NE(game, nullptr);
    for (int id = 0; id < kGameCount; ++id) source.installReader(id, nullptr);
    source.installReader(c.id, testing::networkReader(c.id, port));
    if (*c.executable != '\0') {
      process = testing::launchGame(scope, "idle", c.executable);
      ASSERT_NE(process, nullptr);
      const std::string name = c.executable;
      ASSERT_TRUE(waitUntil([&] { return platform::isProcessRunning(std::wstring(name.begin(), name.end())); }));
    }
    {
      gamesim::SimulationRunner stream(*game, 500.0);
      stream.start();
      ASSERT_TRUE(waitUntil([&] { return source.detectGame(); }));
    }
    ASSERT_EQ(source.getGameID(), c.id);
    ASSERT_TRUE(source.attachGame());
  }

  // Writes one sample and reads until the reader has it (and whatever the
  // game sent with it).
  bool deliver(const gamesim::MotionSample& m) {
    game->write(m);
    if (!waitUntil([&] { return source.readSample(); }, 5s)) return false;
    std::this_thread::sleep_for(5ms);
    source.readSample();
    return true;
  }
};

TEST_P(NetworkGame, DetectAttachRead) {
  const NetworkGameCase& c = GetParam();
  ASSERT_NO_FATAL_FAILURE(startAndAttach(c));
  for (double t : {2.5, 2.502, 31.0}) {
    const auto m = lap.at(t);
    ASSERT_TRUE(deliver(m)) << t;
    const SampleRecord& record = source.record();
    for (int index : c.channels) {
      const double expected = *testing::expectedChannel(index, m, {});
      EXPECT_NEAR(record.data[index], expected, 2 * testing::floatTolerance(expected))
          << channelName(index) << " t=" << t;
    }
    // The gravity split completed the other half of each pair.
    EXPECT_NEAR(record.data[lateral_accel_g], record.data[lateral_accel] + record.data[lateral_gravi], 1e-9);
    EXPECT_NEAR(record.data[longitu_accel_g], record.data[longitu_accel] + record.data[longitu_gravi], 1e-9);
    EXPECT_NEAR(record.data[vertica_accel_g], record.data[vertica_accel] + record.data[vertica_gravi], 1e-9);
    EXPECT_GT(record.timeFrame, 0.0);
  }
  EXPECT_EQ(source.groundState(), c.id == 0 ? 1 : 0);
  EXPECT_TRUE(source.detachGame());
  EXPECT_EQ(source.getGameID(), -1);
  EXPECT_FALSE(source.readSample());
}

INSTANTIATE_TEST_SUITE_P(AllNine, NetworkGame, ::testing::ValuesIn(kGames),
                         [](const ::testing::TestParamInfo<NetworkGameCase>& info) {
                           std::string name = info.param.key;
                           for (char& ch : name)
                             if (ch == '-') ch = '_';
                           return name;
                         });

using NetworkGameStates = NetworkGame;

TEST_F(NetworkGameStates, XPlaneLeavesTheGround) {
  ASSERT_NO_FATAL_FAILURE(startAndAttach(kGames[0]));
  ASSERT_TRUE(deliver(lap.at(4.0)));
  EXPECT_EQ(source.groundState(), 1);
  game->setState(gamesim::xplane::kAirborne);
  ASSERT_TRUE(deliver(lap.at(4.1)));
  EXPECT_EQ(source.groundState(), 0);
}

TEST_F(NetworkGameStates, F1OtherFormatsAreNotSamples) {
  ASSERT_NO_FATAL_FAILURE(startAndAttach(kGames[4]));
  ASSERT_TRUE(deliver(lap.at(4.0)));
  const SampleRecord before = source.record();
  game->setState(2022);
  game->write(lap.at(5.0));
  std::this_thread::sleep_for(20ms);
  EXPECT_FALSE(source.readSample());
  EXPECT_EQ(source.record().data[yaw_position], before.data[yaw_position]);
  game->setState(gamesim::f1::kFormat2023);
  EXPECT_TRUE(deliver(lap.at(5.0)));
}

// Several datagrams waiting: the drained ones are all decoded, the last wins.
TEST_F(NetworkGameStates, LiveForSpeedDrainsTheSocket) {
  ASSERT_NO_FATAL_FAILURE(startAndAttach(kGames[8]));
  ASSERT_TRUE(deliver(lap.at(1.0)));
  game->write(lap.at(2.0));
  game->write(lap.at(3.0));
  std::this_thread::sleep_for(20ms);
  ASSERT_TRUE(source.readSample());
  EXPECT_NEAR(source.record().data[yaw_position], testing::degreesOf(lap.at(3.0).yaw), 1e-3);
  EXPECT_FALSE(source.readSample());
}

TEST_F(NetworkGameStates, NoLimitsKeepsItsStateOverDetachAndAttach) {
  ASSERT_NO_FATAL_FAILURE(startAndAttach(kGames[5]));
  ASSERT_TRUE(deliver(lap.at(6.0)));
  auto* reader = static_cast<readers::NoLimits2Reader*>(source.reader(8));
  const int32_t frame = reader->state().lastFrame;
  EXPECT_GT(frame, 0);
  ASSERT_TRUE(source.detachGame());
  ASSERT_TRUE(source.detectGame());
  ASSERT_TRUE(source.attachGame());
  // The simulation has not moved: its frame was seen before the detach.
  for (int i = 0; i < 50; ++i) {
    EXPECT_FALSE(source.readSample());
    std::this_thread::sleep_for(1ms);
  }
  EXPECT_EQ(reader->state().lastFrame, frame);
  EXPECT_TRUE(deliver(lap.at(6.01)));
  game->setState(gamesim::nl2::kNotPlaying);
  game->write(lap.at(6.02));
  for (int i = 0; i < 50; ++i) {
    EXPECT_FALSE(source.readSample());
    std::this_thread::sleep_for(1ms);
  }
}

}  // namespace
}  // namespace portrelay
