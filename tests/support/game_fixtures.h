// Running games for tests: a private object namespace and process scope, and
// gamesim started as a child under a game's executable name.
#pragma once
#include <chrono>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "gamesim/game_sim.h"
#include "tools/platform/child_process.h"
#include "tools/platform/fake_platform.h"
#include "sources/game_source.h"
#include "support/temp_dir.h"
#include "support/wait.h"

namespace portrelay::testing {

// For the scope: named objects get a prefix of this test process's own, and
// the process test sees only this process's children. The log file goes to a
// temporary Documents folder.
class IsolatedGames {
 public:
  IsolatedGames();
  IsolatedGames(const IsolatedGames&) = delete;
  IsolatedGames& operator=(const IsolatedGames&) = delete;

  const std::string& objectNamespace() const { return namespace_; }
  // The temporary folder that stands for the user's Documents folder.
  std::string documentsFolder() const { return documents_.str(); }

 private:
  TempDir documents_;
  std::string namespace_;
  platform::ScopedPlatform platform_;
};

// Path of the gamesim program next to the test executable.
std::string gamesimPath();

// Starts `gamesim <game> --namespace <ns> <extra...>` showing up as `executable`
// and waits until `readyMapping` (if given) can be opened. Null on failure.
std::unique_ptr<platform::ChildProcess> launchGame(const IsolatedGames& scope, const std::string& game,
                                                   const std::string& executable,
                                                   const std::vector<std::string>& extra = {},
                                                   const std::string& readyMapping = "");

// A shared-memory game counts only once its page kept moving over three
// detection tests: before each pass every given game writes the lap's sample at t, t +
// 2 ms, ... True when a pass found a game within `passes` passes.
bool detectWhileWriting(GameSource& source, std::initializer_list<gamesim::GameSim*> games, double t,
                        int passes = 4);

// A loopback port that was free a moment ago (bound to port 0 and released).
uint16_t freeUdpPort();
uint16_t freeTcpPort();

}  // namespace portrelay::testing
