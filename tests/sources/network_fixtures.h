// Shared by the end-to-end tests of the network games: one reader per game on
// a port of the test's choosing, gamesim's game for it, and a reader wrapper
// that counts the samples the engine took.
#pragma once
#include <atomic>
#include <memory>
#include <string>

#include "gamesim/game_catalog.h"
#include "gamesim/nolimits2_sim.h"
#include "sources/readers/network_reader_factory.h"
#include "sources/game_reader.h"
#include "sources/readers/network_games.h"
#include "sources/readers/nolimits2.h"
#include "support/game_fixtures.h"

namespace portrelay::testing {

// The reader of network game `id` on `port`.
inline std::unique_ptr<GameReader> networkReader(int id, uint16_t port) {
  return readers::makeNetworkReader(id, port);
}

// gamesim's game `key` on a port of its own: a free UDP port, or for the TCP
// server one the system picks. The port goes to `port`.
inline std::unique_ptr<gamesim::GameSim> networkGame(const std::string& key, uint16_t& port) {
  if (key == "nolimits2") {
    auto server = std::make_unique<gamesim::NoLimitsSim>(0);
    if (!server->start()) return nullptr;
    port = server->port();
    return server;
  }
  port = freeUdpPort();
  auto game = gamesim::findGame(key)->make({port});
  if (!game->start()) return nullptr;
  return game;
}

// Forwards to a game's reader and counts the samples it delivered (any thread
// may read the count); the ground state follows the reader's.
class CountingReader : public GameReader {
 public:
  explicit CountingReader(std::unique_ptr<GameReader> inner) : inner_(std::move(inner)) {}
  bool detect() override { return inner_->detect(); }
  bool attach() override { return inner_->attach(); }
  bool read(SampleRecord& record) override {
    const bool fresh = inner_->read(record);
    setGroundState(inner_->groundState());
    if (fresh) samples.fetch_add(1, std::memory_order_relaxed);
    return fresh;
  }
  void detach() override { inner_->detach(); }

  std::atomic<int> samples{0};

 private:
  std::unique_ptr<GameReader> inner_;
};

}  // namespace portrelay::testing
