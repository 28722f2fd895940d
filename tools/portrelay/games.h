// The games the library supports, as a host presents them to its user.
#pragma once
#include <string_view>
#include <vector>

namespace host {

struct SupportedGame {
  int id;                        // the library's game id (getGameID)
  std::string_view name;         // the name getGameName reports
  std::string_view transport;    // how the telemetry arrives
  std::string_view endpoint;     // port or shared-memory section names
  std::string_view process;      // process the detection also needs ("" when none); gamesim runs as it
  std::string_view processes;    // every process name the detection accepts, for the user
  std::string_view simulateKey;  // gamesim's name for it ("" when gamesim has none)
};

const std::vector<SupportedGame>& supportedGames();
// Null for a key gamesim does not play.
const SupportedGame* findSimulatedGame(std::string_view key);

}  // namespace host
