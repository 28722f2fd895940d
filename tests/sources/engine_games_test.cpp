// Network games through the engine: gamesim streams, the engine thread
// detects, attaches and reads at its own pace, and the game-data record holds
// the lap.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "engine/motion_engine.h"
#include "gamesim/simulation_runner.h"
#include "gamesim/udp_games_sim.h"
#include "sources/network_fixtures.h"
#include "platform/processes.h"
#include "portrelay/portrelay.h"
#include "support/game_fixtures.h"
#include "support/motion_expectations.h"

namespace portrelay {
namespace {

using namespace channel;
using namespace std::chrono_literals;
using testing::waitUntil;

void expectLap(const double* data, const gamesim::MotionSample& m, std::initializer_list<int> channels) {
  for (int index : channels) {
    const double expected = *testing::expectedChannel(index, m, {});
    EXPECT_NEAR(data[index], expected, 2 * testing::floatTolerance(expected)) << channelName(index);
  }
}

// DCS sends its own clock: whatever sample the engine took last, the lap at
// that game time says what the record must hold.
TEST(EngineNetworkGames, DcsFromAGamesimProcessThroughTheExports) {
  testing::IsolatedGames scope;
  const uint16_t port = testing::freeUdpPort();
  MotionEngine& engine = MotionEngine::instance();
  stopGamesource_Thread();
  for (int id = 0; id < kGameCount; ++id) engine.games().installReader(id, nullptr);
  engine.games().installReader(1, testing::networkReader(1, port));
  engine.setTimerPrecision(0);

  auto game = testing::launchGame(scope, "dcs", "DCS.exe", {"--port", std::to_string(port), "--rate", "500"});
  ASSERT_NE(game, nullptr);
  setMotionsystemready(1);
  ASSERT_EQ(startGamesource_Thread(), 1);
  ASSERT_TRUE(waitUntil([] { return getGameID() == 1; }, 20s));
  ASSERT_TRUE(waitUntil([&] { return engine.isAttached(); }));
  std::this_thread::sleep_for(300ms);
  EXPECT_LT(engine.failedReads(), 100);  // a sample most cycles
  stopGamesource_Thread();

  double* data = nullptr;
  int32_t count = 0;
  getGameData(&data, &count);
  ASSERT_EQ(count, 43);
  const double gameTime = engine.games().record().gameTime;
  ASSERT_GT(gameTime, 0.0);
  expectLap(data, gamesim::LapMotion().at(gameTime),
            {yaw_position, roll_position, pitch_position, yaw_speed, roll_speed, pitch_speed, lateral_accel,
             longitu_accel, vertica_accel, lateral_speed, longitu_speed, vertica_speed});
  EXPECT_GT(getGameTimeFrame(), 0.0);
  game->stop();
}

// A private engine with one game; gamesim plays it in this process.
struct EngineWithOneGame : ::testing::Test {
  testing::IsolatedGames scope;
  MotionEngine engine;
  testing::CountingReader* reader = nullptr;
  uint16_t port = 0;
  std::unique_ptr<gamesim::GameSim> game;
  std::unique_ptr<gamesim::SimulationRunner> stream;
  std::unique_ptr<platform::ChildProcess> process;

  ~EngineWithOneGame() override {
    engine.stop();
    if (stream) stream->stop();
  }

  void start(const std::string& key, int id, const std::string& executable = "") {
    game = testing::networkGame(key, port);
    ASSERT_NE(game, nullptr);
    for (int other = 0; other < kGameCount; ++other) engine.games().installReader(other, nullptr);
    auto counting = std::make_unique<testing::CountingReader>(testing::networkReader(id, port));
    reader = counting.get();
    engine.games().installReader(id, std::move(counting));
    if (!executable.empty()) {
      process = testing::launchGame(scope, "idle", executable);
      ASSERT_NE(process, nullptr);
      ASSERT_TRUE(waitUntil([&] { return platform::isProcessRunning(std::wstring(executable.begin(), executable.end())); }));
    }
    stream = std::make_unique<gamesim::SimulationRunner>(*game, 500.0);
    stream->start();
    engine.setTimerPrecision(0);  // the same pace, without spinning
    engine.setMotionSystemReady(1);
    ASSERT_EQ(engine.start(), 1);
    ASSERT_TRUE(waitUntil([&] { return engine.isAttached(); }, 20s));
    ASSERT_EQ(engine.games().getGameID(), id);
    ASSERT_TRUE(waitUntil([&] { return reader->samples.load() > 20; }));
  }

  // Stops the stream, lets the engine drain the socket, sends one known
  // sample, and stops the engine once it was taken.
  void finishWith(const gamesim::MotionSample& m) {
    stream->stop();
    ASSERT_TRUE(waitUntil([&] { return engine.failedReads() > 20; }));
    const int before = reader->samples.load();
    game->write(m);
    ASSERT_TRUE(waitUntil([&] { return reader->samples.load() > before; }));
    std::this_thread::sleep_for(50ms);  // and whatever came with it
    engine.stop();
  }
};

TEST_F(EngineWithOneGame, XPlane) {
  ASSERT_NO_FATAL_FAILURE(start("xplane", 0, "X-Plane.exe"));
  ASSERT_TRUE(waitUntil([&] { return engine.activeProfile() == 1; }));  // on the ground: GROUND
  game->setState(gamesim::xplane::kAirborne);
  ASSERT_TRUE(waitUntil([&] { return engine.activeProfile() == 0; }));
  const auto m = gamesim::LapMotion().at(7.0);
  ASSERT_NO_FATAL_FAILURE(finishWith(m));
  expectLap(engine.games().record().data, m,
            {yaw_position, roll_position, pitch_position, yaw_speed, lateral_accel, vertica_accel, speed});
}

TEST_F(EngineWithOneGame, F1) {
  ASSERT_NO_FATAL_FAILURE(start("f1", 7, "F1_24.exe"));
  const auto m = gamesim::LapMotion().at(8.0);
  ASSERT_NO_FATAL_FAILURE(finishWith(m));
  expectLap(engine.games().record().data, m,
            {yaw_position, roll_position, pitch_position, longitu_accel, vertica_accel});
}

TEST_F(EngineWithOneGame, BeamNg) {
  ASSERT_NO_FATAL_FAILURE(start("beamng", 12));
  const auto m = gamesim::LapMotion().at(9.0);
  ASSERT_NO_FATAL_FAILURE(finishWith(m));
  expectLap(engine.games().record().data, m,
            {yaw_position, pitch_position, roll_speed, lateral_accel, longitu_speed, yaw_accel});
}

TEST_F(EngineWithOneGame, NoLimits2) {
  ASSERT_NO_FATAL_FAILURE(start("nolimits2", 8));
  const auto m = gamesim::LapMotion().at(10.0);
  ASSERT_NO_FATAL_FAILURE(finishWith(m));
  expectLap(engine.games().record().data, m, {yaw_position, roll_position, pitch_position, lateral_accel, speed});
}

}  // namespace
}  // namespace portrelay
