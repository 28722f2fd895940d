// The engine loses a game that stops publishing, and finds it again.
#include <gtest/gtest.h>

#include <chrono>

#include "engine/motion_engine.h"
#include "gamesim/assetto_corsa_sim.h"
#include "gamesim/simulation_runner.h"
#include "sources/readers/assetto_corsa.h"
#include "support/game_fixtures.h"

namespace portrelay {
namespace {

using namespace std::chrono_literals;
using testing::waitUntil;

TEST(LostGame, EngineResetsAndDetectsAgain) {
  testing::IsolatedGames scope;
  MotionEngine engine;
  for (int id = 0; id < kGameCount; ++id) engine.games.installReader(id, nullptr);
  engine.games.installReader(3, std::make_unique<readers::AssettoCorsaReader>());

  gamesim::AssettoCorsaSim game;
  ASSERT_TRUE(game.start());
  auto runner = std::make_unique<gamesim::SimulationRunner>(game, 500.0);
  runner->start();
  engine.setMotionSystemReady(1);
  engine.start();
  ASSERT_TRUE(waitUntil([&] { return engine.attached.load() == 1; }));
  EXPECT_EQ(engine.games.getGameID(), 3);
  // Samples arrive: the count of empty cycles stays low.
  std::this_thread::sleep_for(200ms);
  EXPECT_LT(engine.failedReads.load(), 100);

  // The game quits: more than 1000 empty cycles end the attachment, and the
  // next detection finds no live game.
  runner->stop();
  game.stop();
  const auto quit = std::chrono::steady_clock::now();
  ASSERT_TRUE(waitUntil([&] { return engine.attached.load() == 0; }, 15s));
  EXPECT_GE(std::chrono::steady_clock::now() - quit, 1900ms);  // 1001 cycles of about 2 ms
  EXPECT_TRUE(waitUntil([&] { return engine.games.getGameID() == -1; }));

  // It starts again and is found again.
  ASSERT_TRUE(game.start());
  runner = std::make_unique<gamesim::SimulationRunner>(game, 500.0);
  runner->start();
  EXPECT_TRUE(waitUntil([&] { return engine.attached.load() == 1; }));
  EXPECT_EQ(engine.games.getGameID(), 3);
  engine.stop();
  runner->stop();
}

}  // namespace
}  // namespace portrelay
