// A game that is gone while its section lives on (the Proton bridge holds it,
// here the test does) is let go: within about a second when its process ends
// (the process watch), within kStalledAfter and the engine's 1000 empty cycles
// when its page stands still. Letting go stops the fan.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>

#include "engine/motion_engine.h"
#include "fan_fixture.h"
#include "gamesim/game_catalog.h"
#include "gamesim/simulation_runner.h"
#include "platform/com_devices.h"
#include "platform/processes.h"
#include "sources/readers/pcars2.h"
#include "sources/readers/raceroom.h"
#include "support/game_fixtures.h"

namespace portrelay {
namespace {

using namespace std::chrono_literals;
using testing::FanOnComPort;
using testing::waitUntil;

struct LetGoCase {
  const char* what;
  const char* key;
  int id;
  const char* executable;  // "" when the game has no process to watch
  bool processEnds;
  bool pageStops;
  std::chrono::milliseconds bound;
};

// Process watch: one check interval plus a query (under Wine a process-list
// query goes through the wineserver and takes far longer). Page stall: 250 ms
// plus 1001 cycles of 2 ms, with room for cycles that stretch on a loaded machine.
#if defined(_WIN32)
constexpr auto kProcessWatchBound = 5000ms;
#else
constexpr auto kProcessWatchBound = 2000ms;
#endif
const LetGoCase kCases[] = {
    {"game exits (process ends, page stops)", "raceroom", 4, "RRRE64.exe", true, true, kProcessWatchBound},
    {"process ends, page still moving", "raceroom", 4, "RRRE64.exe", true, false, kProcessWatchBound},
    {"page stops", "pcars2", 9, "", false, true, 6000ms},
};

uint8_t lastFanByte(FanOnComPort& sink) {
  const auto bytes = sink.fan.bytes();
  return bytes.empty() ? 0xFF : bytes.back().value;
}

TEST(GameLetGo, GoneGameIsLetGoAndTheFanStops) {
  for (const LetGoCase& c : kCases) {
    SCOPED_TRACE(c.what);
    testing::IsolatedGames scope;
    FanOnComPort sink;
    ASSERT_TRUE(sink.started());
    const platform::ScopedPlatform fanPort(platform::FakePlatform().withComPorts({sink.comPort()}));

    std::unique_ptr<platform::ChildProcess> process;
    if (*c.executable != '\0') {
      process = testing::launchGame(scope, "idle", c.executable);
      ASSERT_NE(process, nullptr);
    }
    auto game = gamesim::findGame(c.key)->make({});
    ASSERT_TRUE(game->start());  // held by this process, as the bridge holds it
    gamesim::SimulationRunner runner(*game, 500.0);
    runner.start();

    MotionEngine engine;
    for (int id = 0; id < kGameCount; ++id) engine.games().installReader(id, nullptr);
    engine.games().installReader(4, std::make_unique<readers::RaceRoomReader>());
    engine.games().installReader(9, std::make_unique<readers::ProjectCarsReader>());
    ASSERT_TRUE(engine.fan().init(FanOnComPort::name(), 115200, "8N1", 15));
    ASSERT_TRUE(engine.installFilterString(0, 21, "ADD(VALUE;60)"));  // fan at 60 %
    engine.setActiveAxis(0, 21, 1);
    engine.setMotionSystemReady(1);
    ASSERT_EQ(engine.start(), 1);
    ASSERT_TRUE(waitUntil([&] { return engine.isAttached(); }, 20s));
    EXPECT_EQ(engine.games().getGameID(), c.id);
    // The fan fades in towards 60 % (153 of 255).
    ASSERT_TRUE(waitUntil([&] { const uint8_t b = lastFanByte(sink); return b >= 100 && b != 0xFF; }, 10s));

    if (c.pageStops) runner.stop();
    if (c.processEnds) {
      process->stop();
      ASSERT_NE(process->wait(10000), -1);
    }
    const auto gone = std::chrono::steady_clock::now();
    ASSERT_TRUE(waitUntil([&] { return !engine.isAttached(); }, 15s));
    const auto letGo = std::chrono::steady_clock::now() - gone;
    EXPECT_LT(letGo, c.bound);
    std::printf("%s: let go %lld ms after\n", c.what,
                static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(letGo).count()));
    EXPECT_TRUE(engine.isOutputSuspended());
    EXPECT_TRUE(waitUntil([&] { return lastFanByte(sink) == 0; }, 2s));
    // And the section, still there, does not bring the game back.
    std::this_thread::sleep_for(1500ms);
    EXPECT_FALSE(engine.isAttached());
    EXPECT_EQ(engine.games().getGameID(), -1);
    EXPECT_EQ(lastFanByte(sink), 0);

    engine.stop();
    runner.stop();
  }
}

}  // namespace
}  // namespace portrelay
