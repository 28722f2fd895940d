// The reader of a network game on a chosen port (its own port in production;
// tests and measuring tools pick free ports).
#pragma once
#include <cstdint>
#include <memory>

#include "sources/game_reader.h"

namespace portrelay::readers {

// Reader of network game `id` (0, 1, 5, 6, 7, 8, 11, 12, 13) on `port`; null for other ids.
std::unique_ptr<GameReader> makeNetworkReader(int id, uint16_t port);

}  // namespace portrelay::readers
