// Sections that exist without a live game behind them: the Proton bridge holds
// every game's section (zero-filled) whether a game runs or not, and a killed
// bridge or a crashed game leaves its last page behind. Neither may pass for a
// running game, not even with the game's process up; the same page that moves
// is found.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include "gamesim/game_catalog.h"
#include "gamesim/simulation_runner.h"
#include "platform/processes.h"
#include "sources/game_source.h"
#include "support/game_fixtures.h"

namespace portrelay {
namespace {

using namespace std::chrono_literals;
using testing::waitUntil;

struct SectionGame {
  const char* key;
  int id;
  const char* executable;  // "" when detection needs no process
};

const SectionGame kSectionGames[] = {
    {"assetto-corsa", 3, ""},           {"assetto-corsa-evo", 16, "AssettoCorsaEVO.exe"},
    {"raceroom", 4, "RRRE64.exe"},      {"pcars2", 9, ""},
    {"iracing", 10, "iRacingSim64DX11.exe"}, {"rfactor2", 14, "rFactor2.exe"},
    {"truck-sim", 17, "eurotrucks2.exe"},
};

// Detection passes, back to back, for `stretch`: how many found a game.
int detectionsDuring(GameSource& source, std::chrono::milliseconds stretch) {
  int found = 0;
  const auto end = std::chrono::steady_clock::now() + stretch;
  while (std::chrono::steady_clock::now() < end) {
    if (source.detectGame()) ++found;
    std::this_thread::sleep_for(5ms);
  }
  return found;
}

TEST(PhantomGame, StillSectionsAreNotAGame) {
  for (const SectionGame& c : kSectionGames) {
    SCOPED_TRACE(c.key);
    testing::IsolatedGames scope;
    GameSource source;
    source.setDetectionPauseMs(0);
    std::unique_ptr<platform::ChildProcess> process;
    if (*c.executable != '\0') {
      process = testing::launchGame(scope, "idle", c.executable);
      ASSERT_NE(process, nullptr);
      const std::wstring wide(c.executable, c.executable + std::strlen(c.executable));
      ASSERT_TRUE(waitUntil([&] { return platform::isProcessRunning(wide); }));
    }
    auto game = gamesim::findGame(c.key)->make({});
    ASSERT_TRUE(game->start());  // the section as the bridge holds it: zero-filled
    EXPECT_EQ(detectionsDuring(source, 500ms), 0) << "zero-filled section";
    game->write(gamesim::LapMotion().at(1.0));  // the last page of a game that is gone
    EXPECT_EQ(detectionsDuring(source, 1000ms), 0) << "page left behind";
    EXPECT_EQ(source.getGameID(), -1);

    gamesim::SimulationRunner runner(*game, 200.0);  // the game drives
    runner.start();
    EXPECT_TRUE(waitUntil([&] { return source.detectGame(); }, 5s));
    EXPECT_EQ(source.getGameID(), c.id);
    runner.stop();
  }
}

}  // namespace
}  // namespace portrelay
