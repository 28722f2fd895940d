// Every game gamesim can play, by command-line key.
#pragma once
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "gamesim/game_sim.h"

namespace gamesim {

struct GameOptions {
  uint16_t port = 0;  // network games: 0 means the game's own port
};

struct GameEntry {
  std::string_view key;
  int gameId;                   // the library's id of the game
  std::string_view executable;  // the process name detection looks for ("" when none)
  std::string_view stateHelp;   // what --state means for this game
  std::unique_ptr<GameSim> (*make)(const GameOptions& options);
};

const std::vector<GameEntry>& gameCatalog();
// Null for an unknown key.
const GameEntry* findGame(std::string_view key);

}  // namespace gamesim
