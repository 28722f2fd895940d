#include "gamesim/game_catalog.h"

#include "gamesim/assetto_corsa_sim.h"
#include "gamesim/iracing_sim.h"
#include "gamesim/nolimits2_sim.h"
#include "gamesim/pcars2_sim.h"
#include "gamesim/raceroom_sim.h"
#include "gamesim/rfactor2_sim.h"
#include "gamesim/truck_sim_sim.h"

namespace gamesim {

namespace {
// A game that runs without publishing anything: with --as, only its process shows.
class IdleSim : public GameSim {
 public:
  bool start() override { return true; }
  void stop() override {}
  void write(const MotionSample&) override {}
};
}  // namespace

const std::vector<GameEntry>& gameCatalog() {
  static const std::vector<GameEntry> games = {
      {"idle", -1, "", "unused (publishes nothing; use with --as)",
       [](const GameOptions&) -> std::unique_ptr<GameSim> { return std::make_unique<IdleSim>(); }},
      {"assetto-corsa", 3, "", "graphics status: 0 off, 1 replay, 2 live (default), 3 pause",
       [](const GameOptions&) -> std::unique_ptr<GameSim> { return std::make_unique<AssettoCorsaSim>(true); }},
      {"assetto-corsa-evo", 16, "AssettoCorsaEVO.exe", "unused",
       [](const GameOptions&) -> std::unique_ptr<GameSim> { return std::make_unique<AssettoCorsaSim>(false); }},
      {"raceroom", 4, "RRRE64.exe", "0 driving (default), 1 paused, 2 in menus, 3 in replay",
       [](const GameOptions&) -> std::unique_ptr<GameSim> { return std::make_unique<RaceRoomSim>(); }},
      {"nolimits2", 8, "", "unused",
       [](const GameOptions& o) -> std::unique_ptr<GameSim> {
         return std::make_unique<NoLimitsSim>(o.port != 0 ? o.port : nl2::kPort);
       }},
      {"pcars2", 9, "", "game state: 1 menu, 2 playing (default), 3 paused",
       [](const GameOptions&) -> std::unique_ptr<GameSim> { return std::make_unique<ProjectCarsSim>(); }},
      {"iracing", 10, "iRacingSim64DX11.exe", "1 connected (default), 0 disconnected",
       [](const GameOptions&) -> std::unique_ptr<GameSim> { return std::make_unique<IRacingSim>(); }},
      {"rfactor2", 14, "rFactor2.exe", "0 plug-in ready (default), 1 page not yet filled",
       [](const GameOptions&) -> std::unique_ptr<GameSim> { return std::make_unique<RFactor2Sim>(); }},
      {"truck-sim", 17, "eurotrucks2.exe", "1 running (default), 0 paused",
       [](const GameOptions&) -> std::unique_ptr<GameSim> { return std::make_unique<TruckSim>(); }},
  };
  return games;
}

const GameEntry* findGame(std::string_view key) {
  for (const auto& game : gameCatalog())
    if (game.key == key) return &game;
  return nullptr;
}

}  // namespace gamesim
