// The seven shared-memory games end to end: gamesim publishes, the registry
// detects, attaches and reads, and the record carries the lap.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "gamesim/game_catalog.h"
#include "gamesim/iracing_sim.h"
#include "gamesim/pcars2_sim.h"
#include "gamesim/raceroom_sim.h"
#include "gamesim/rfactor2_sim.h"
#include "gamesim/truck_sim_sim.h"
#include "platform/processes.h"
#include "sources/game_source.h"
#include "support/game_fixtures.h"
#include "support/motion_expectations.h"

namespace portrelay {
namespace {

using namespace channel;
using testing::IsolatedGames;
using testing::launchGame;
using testing::waitUntil;

struct GameCase {
  const char* key;
  int id;
  const char* executable;  // "" when detection needs no process
  std::vector<int> channels;
  bool singlePrecision;
  testing::ChannelConventions conventions;
};

std::vector<int> join(std::vector<int> a, const std::vector<int>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}
const std::vector<int> kAttitudeAndRates = {yaw_position, roll_position, pitch_position,
                                            yaw_speed,    roll_speed,    pitch_speed};
const std::vector<int> kAccelerations = {lateral_accel, longitu_accel, vertica_accel};
const std::vector<int> kLinear = join(kAccelerations, {lateral_speed, longitu_speed, vertica_speed});
const std::vector<int> kAngularAccelerations = {yaw_accel, roll_accel, pitch_accel};
const std::vector<int> kAll = join(join(kAttitudeAndRates, kLinear), kAngularAccelerations);

const GameCase kGames[] = {
    {"assetto-corsa", 3, "", join(kAttitudeAndRates, kLinear), true, {}},
    {"assetto-corsa-evo", 16, "AssettoCorsaEVO.exe", join(kAttitudeAndRates, kLinear), true, {}},
    {"raceroom", 4, "RRRE64.exe", kAll, false, {}},
    {"pcars2", 9, "", join(kAttitudeAndRates, kLinear), true, {}},
    {"iracing", 10, "iRacingSim64DX11.exe", join(kAttitudeAndRates, kAccelerations), true, {true, false}},
    {"rfactor2", 14, "rFactor2.exe", kAll, false, {}},
    {"truck-sim", 17, "eurotrucks2.exe", join(kAll, {speed, rpm}), true, {false, true}},
};

void PrintTo(const GameCase& c, std::ostream* out) { *out << c.key; }

class SharedMemoryGame : public ::testing::TestWithParam<GameCase> {
 protected:
  IsolatedGames scope;
  GameSource source;
  gamesim::LapMotion lap;
  std::unique_ptr<gamesim::GameSim> game;
  std::unique_ptr<platform::ChildProcess> process;

  SharedMemoryGame() { source.setDetectionPauseMs(0); }

  // The game starts: its memory in this process, its executable as a child.
  void startGame(const std::string& key, const std::string& executable) {
    game = gamesim::findGame(key)->make({});
    ASSERT_TRUE(game->start());
    if (!executable.empty()) {
      process = launchGame(scope, "idle", executable);
      ASSERT_NE(process, nullptr);
      const std::wstring wide(executable.begin(), executable.end());
      ASSERT_TRUE(waitUntil([&] { return platform::isProcessRunning(wide); }));
    }
  }
};

TEST_P(SharedMemoryGame, DetectAttachReadDetach) {
  const GameCase& c = GetParam();
  startGame(c.key, c.executable);
  ASSERT_TRUE(testing::detectWhileWriting(source, {game.get()}, 1.0));
  ASSERT_EQ(source.getGameID(), c.id);
  ASSERT_TRUE(source.attachGame());

  for (double t : {2.5, 2.502, 31.0}) {
    const auto m = lap.at(t);
    game->write(m);
    ASSERT_TRUE(source.readSample()) << t;
    const SampleRecord& record = source.record();
    for (int index : c.channels) {
      const double expected = *testing::expectedChannel(index, m, c.conventions);
      const double tolerance = c.singlePrecision ? testing::floatTolerance(expected) : 1e-9;
      EXPECT_NEAR(record.data[index], expected, tolerance) << channelName(index) << " t=" << t;
    }
    // The gravity split completed the other half of each pair.
    EXPECT_NEAR(record.data[lateral_accel_g], record.data[lateral_accel] + record.data[lateral_gravi], 1e-9);
    EXPECT_NEAR(record.data[vertica_accel_g], record.data[vertica_accel] + record.data[vertica_gravi], 1e-9);
    EXPECT_GT(record.timeFrame, 0.0);
  }
  EXPECT_EQ(source.groundState(), 0);
  EXPECT_TRUE(source.detachGame());
  EXPECT_EQ(source.getGameID(), -1);
  EXPECT_FALSE(source.readSample());
}

INSTANTIATE_TEST_SUITE_P(AllSeven, SharedMemoryGame, ::testing::ValuesIn(kGames),
                         [](const ::testing::TestParamInfo<GameCase>& info) {
                           std::string name = info.param.key;
                           for (char& ch : name)
                             if (ch == '-') ch = '_';
                           return name;
                         });

struct GameStates : SharedMemoryGame {
  void attach(const char* key, const char* executable, int id) {
    startGame(key, executable);
    ASSERT_TRUE(testing::detectWhileWriting(source, {game.get()}, 1.0));
    ASSERT_EQ(source.getGameID(), id);
    ASSERT_TRUE(source.attachGame());
  }
  bool recordUnchanged(const SampleRecord& before) const {
    return std::memcmp(&before, &source.record(), sizeof before) == 0;
  }
};

TEST_F(GameStates, AssettoCorsaUnchangedCounter) {
  attach("assetto-corsa", "", 3);
  game->write(lap.at(2.0));
  ASSERT_TRUE(source.readSample());
  const SampleRecord before = source.record();
  EXPECT_FALSE(source.readSample());
  EXPECT_TRUE(recordUnchanged(before));
}

TEST_F(GameStates, RaceRoomPausedMenusReplayAndQuit) {
  attach("raceroom", "RRRE64.exe", 4);
  for (int32_t state : {gamesim::r3e::kPaused, gamesim::r3e::kInMenus, gamesim::r3e::kInReplay}) {
    game->setState(state);
    game->write(lap.at(3.0));
    EXPECT_FALSE(source.readSample()) << state;
  }
  game->setState(gamesim::r3e::kDriving);
  game->write(lap.at(3.0));
  EXPECT_TRUE(source.readSample());
  game->stop();  // the game quits: its name is gone, though our view remains
  EXPECT_FALSE(source.readSample());
}

TEST_F(GameStates, ProjectCarsQuitIsNoticed) {
  attach("pcars2", "", 9);
  game->write(lap.at(3.0));
  EXPECT_TRUE(source.readSample());
  game->setState(gamesim::pcars2::kPaused);
  game->write(lap.at(3.1));
  EXPECT_FALSE(source.readSample());
  game->setState(gamesim::pcars2::kPlaying);
  game->write(lap.at(3.2));
  EXPECT_TRUE(source.readSample());
  game->stop();
  EXPECT_FALSE(source.readSample());
}

TEST_F(GameStates, RFactor2EqualStampAndUnreadyPage) {
  attach("rfactor2", "rFactor2.exe", 14);
  game->write(lap.at(4.0));
  ASSERT_TRUE(source.readSample());
  const SampleRecord before = source.record();
  game->write(lap.at(4.0));  // same stamp again
  EXPECT_FALSE(source.readSample());
  EXPECT_TRUE(recordUnchanged(before));
  EXPECT_TRUE(source.detachGame());
  game->setState(gamesim::rf2::kUnready);
  ASSERT_TRUE(testing::detectWhileWriting(source, {game.get()}, 5.0));
  EXPECT_FALSE(source.attachGame());  // the plug-in has not filled the page yet
  game->setState(gamesim::rf2::kReady);
  game->write(lap.at(5.0));
  EXPECT_TRUE(source.attachGame());
}

TEST_F(GameStates, TruckSimNotRunning) {
  attach("truck-sim", "eurotrucks2.exe", 17);
  game->write(lap.at(6.0));
  ASSERT_TRUE(source.readSample());
  game->setState(gamesim::scs::kPaused);
  game->write(lap.at(7.0));
  const SampleRecord before = source.record();
  EXPECT_FALSE(source.readSample());
  EXPECT_TRUE(recordUnchanged(before));
}

// A disconnected game gives no sample (so a game that stays disconnected is
// let go), and samples come again with its next buffer after reconnecting.
TEST_F(GameStates, IRacingDisconnectedIsNoSample) {
  attach("iracing", "iRacingSim64DX11.exe", 10);
  game->write(lap.at(8.0));
  ASSERT_TRUE(source.readSample());
  EXPECT_TRUE(source.readSample());  // the same buffer again, within the game's write interval
  const SampleRecord good = source.record();
  game->setState(gamesim::irsdk::kDisconnected);
  game->write(lap.at(9.0));
  EXPECT_FALSE(source.readSample());
  EXPECT_FALSE(source.readSample());
  EXPECT_TRUE(recordUnchanged(good));
  game->setState(gamesim::irsdk::kConnected);
  game->write(lap.at(9.5));
  ASSERT_TRUE(source.readSample());  // the tick counted on meanwhile: taken as the new start
  game->write(lap.at(9.6));
  ASSERT_TRUE(source.readSample());
  EXPECT_NEAR(source.record().data[yaw_position], *testing::expectedChannel(yaw_position, lap.at(9.6), {true, false}),
              1e-3);
}

TEST_F(GameStates, IRacingLostWhenItsProcessEnds) {
  attach("iracing", "iRacingSim64DX11.exe", 10);
  process->stop();
  ASSERT_TRUE(waitUntil([] { return !platform::isProcessRunning(L"iRacingSim64DX11.exe"); }));
  EXPECT_TRUE(source.detachGame());
  EXPECT_FALSE(source.detectGame());
}

// The games published from another process: a gamesim child under the game's name.
TEST_F(GameStates, RaceRoomPublishedByAChildProcess) {
  process = launchGame(scope, "raceroom", "RRRE64.exe", {"--rate", "500"}, "$R3E");
  ASSERT_NE(process, nullptr);
  ASSERT_TRUE(waitUntil([] { return platform::isProcessRunning(L"RRRE64.exe"); }));
  ASSERT_TRUE(waitUntil([&] { return source.detectGame(); }));
  ASSERT_EQ(source.getGameID(), 4);
  ASSERT_TRUE(source.attachGame());
  ASSERT_TRUE(source.readSample());
  const SampleRecord& record = source.record();
  EXPECT_GT(record.data[longitu_speed], 20.0);  // the lap's speed range
  EXPECT_LT(record.data[longitu_speed], 50.0);
  EXPECT_NEAR(record.data[vertica_accel_g], record.data[vertica_accel] + record.data[vertica_gravi], 1e-9);
  process->stop();
  EXPECT_FALSE(source.readSample());
}

TEST_F(GameStates, IRacingPublishedByAChildProcess) {
  process = launchGame(scope, "iracing", "iRacingSim64DX11.exe", {"--rate", "200"}, "Local\\IRSDKMemMapFileName");
  ASSERT_NE(process, nullptr);
  ASSERT_TRUE(waitUntil([] { return platform::isProcessRunning(L"iRacingSim64DX11.exe"); }));
  ASSERT_TRUE(waitUntil([&] { return source.detectGame(); }));
  ASSERT_EQ(source.getGameID(), 10);
  ASSERT_TRUE(source.attachGame());  // needs the child's event too
  ASSERT_TRUE(waitUntil([&] {
    source.readSample();
    return source.record().data[yaw_speed] != 0.0;
  }));
  EXPECT_NEAR(source.record().data[lateral_accel_g],
              source.record().data[lateral_accel] + source.record().data[lateral_gravi], 1e-9);
}

}  // namespace
}  // namespace portrelay
