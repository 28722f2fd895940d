#include "sources/game_source.h"

namespace portrelay {

// Installs one reader per supported game id. Games whose reader is not part of
// this build keep a null reader, whose detection test fails.
void installSupportedGames(GameSource& /*source*/) {}

}  // namespace portrelay
