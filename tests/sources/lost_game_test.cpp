// The engine loses a game that stops publishing, and finds it again; a game
// that quits or crashes without clearing its memory is let go as well.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "engine/motion_engine.h"
#include "gamesim/assetto_corsa_sim.h"
#include "gamesim/simulation_runner.h"
#include "platform/named_event.h"
#include "platform/shared_memory.h"
#include "sources/readers/assetto_corsa.h"
#include "sources/readers/iracing.h"
#include "sources/readers/truck_sim.h"
#include "support/game_fixtures.h"

namespace portrelay {
namespace {

using namespace std::chrono_literals;
using testing::waitUntil;

TEST(LostGame, EngineResetsAndDetectsAgain) {
  testing::IsolatedGames scope;
  MotionEngine engine;
  for (int id = 0; id < kGameCount; ++id) engine.games().installReader(id, nullptr);
  engine.games().installReader(3, std::make_unique<readers::AssettoCorsaReader>());

  gamesim::AssettoCorsaSim game;
  ASSERT_TRUE(game.start());
  auto runner = std::make_unique<gamesim::SimulationRunner>(game, 500.0);
  runner->start();
  engine.setMotionSystemReady(1);
  engine.start();
  ASSERT_TRUE(waitUntil([&] { return engine.isAttached(); }));
  EXPECT_EQ(engine.games().getGameID(), 3);
  // Samples arrive: the count of empty cycles stays low.
  std::this_thread::sleep_for(200ms);
  EXPECT_LT(engine.failedReads(), 100);

  // The game quits: more than 1000 empty cycles end the attachment, and the
  // next detection finds no live game.
  runner->stop();
  game.stop();
  const auto quit = std::chrono::steady_clock::now();
  ASSERT_TRUE(waitUntil([&] { return !engine.isAttached(); }, 15s));
  EXPECT_GE(std::chrono::steady_clock::now() - quit, 1900ms);  // 1001 cycles of about 2 ms
  EXPECT_TRUE(waitUntil([&] { return engine.games().getGameID() == -1; }));

  // It starts again and is found again.
  ASSERT_TRUE(game.start());
  runner = std::make_unique<gamesim::SimulationRunner>(game, 500.0);
  runner->start();
  EXPECT_TRUE(waitUntil([&] { return engine.isAttached(); }));
  EXPECT_EQ(engine.games().getGameID(), 3);
  engine.stop();
  runner->stop();
}

// A game that crashes, or quits without clearing its memory, is let go: its
// reader answers no sample once the memory stands still, and the engine is
// searching again about 2 s after the game's last write.
struct QuitCase {
  const char* key;
  int id;
  const char* executable;
  const char* memory;
  bool crashes;  // ends at once, withdrawing nothing; otherwise quits normally
};

const QuitCase kQuits[] = {
    {"iracing", 10, "iRacingSim64DX11.exe", readers::kIRacingName, true},
    {"iracing", 10, "iRacingSim64DX11.exe", readers::kIRacingName, false},
    {"truck-sim", 17, "eurotrucks2.exe", readers::kTruckSimName, true},
};

TEST(LostGame, QuitOrCrashedMemoryGameIsLetGo) {
  for (const QuitCase& c : kQuits) {
    SCOPED_TRACE(std::string(c.key) + (c.crashes ? " crashes" : " quits"));
    testing::IsolatedGames scope;
    // Held here so that the event a crashing game leaves behind is removed with it.
    auto event = platform::NamedEvent::create(readers::kIRacingEventName);
    MotionEngine engine;
    for (int id = 0; id < kGameCount; ++id) engine.games().installReader(id, nullptr);
    engine.games().installReader(10, std::make_unique<readers::IRacingReader>());
    engine.games().installReader(17, std::make_unique<readers::TruckSimReader>());

    std::vector<std::string> options = {"--rate", "200"};
    if (c.crashes) options.insert(options.end(), {"--crash-after", "1.5"});
    auto game = testing::launchGame(scope, c.key, c.executable, options, c.memory);
    ASSERT_NE(game, nullptr);
    engine.setMotionSystemReady(1);
    engine.start();
    ASSERT_TRUE(waitUntil([&] { return engine.isAttached(); }, 30s));
    EXPECT_EQ(engine.games().getGameID(), c.id);

    if (!c.crashes) {
      std::this_thread::sleep_for(1500ms);
      game->stop();
    }
    ASSERT_NE(game->wait(10000), -1);
    const auto gone = std::chrono::steady_clock::now();
    ASSERT_TRUE(waitUntil([&] { return !engine.isAttached(); }, 15s));
    const auto letGo = std::chrono::steady_clock::now() - gone;
    EXPECT_TRUE(waitUntil([&] { return engine.games().getGameID() == -1; }));
    EXPECT_LT(letGo, 6000ms);  // 2.25 s at 2 ms a cycle; cycles stretch on a loaded machine
    std::printf("%s %s: let go %lld ms after the game ended\n", c.key, c.crashes ? "crashed" : "quit",
                static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(letGo).count()));
    engine.stop();
    // What the crashed game left under its name goes with a fresh publication.
    platform::SharedMemory::publish(c.memory, 1).close();
  }
}

}  // namespace
}  // namespace portrelay
