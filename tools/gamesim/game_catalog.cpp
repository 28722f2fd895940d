#include "gamesim/game_catalog.h"

#include "gamesim/assetto_corsa_sim.h"
#include "gamesim/iracing_sim.h"
#include "gamesim/nolimits2_sim.h"
#include "gamesim/pcars2_sim.h"
#include "gamesim/raceroom_sim.h"
#include "gamesim/rfactor2_sim.h"
#include "gamesim/truck_sim_sim.h"
#include "gamesim/udp_games_sim.h"

namespace gamesim {

namespace {
// A game that runs without publishing anything: with --as, only its process shows.
class IdleSim : public GameSim {
 public:
  bool start() override { return true; }
  void stop() override {}
  void write(const MotionSample&) override {}
};
// The game's own port unless the options name another.
uint16_t portOr(const GameOptions& options, uint16_t own) { return options.port != 0 ? options.port : own; }

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
      {"nolimits2", 8, "", "1 playing (default), 0 not in play",
       [](const GameOptions& o) -> std::unique_ptr<GameSim> {
         return std::make_unique<NoLimitsSim>(portOr(o, nl2::kPort));
       }},
      {"xplane", 0, "X-Plane.exe", "1 on the ground (default), 0 airborne",
       [](const GameOptions& o) { return makeXPlaneSim(portOr(o, xplane::kPort)); }},
      {"dcs", 1, "DCS.exe", "unused",
       [](const GameOptions& o) { return makeDcsSim(portOr(o, dcs::kPort)); }},
      {"dirt-rally2", 5, "", "unused",
       [](const GameOptions& o) { return makeDirtRally2Sim(portOr(o, dirt::kPort)); }},
      {"condor2", 6, "", "unused",
       [](const GameOptions& o) { return makeCondor2Sim(portOr(o, condor::kPort)); }},
      {"f1", 7, "F1_24.exe", "packet format: 2024 (default), 2023; others are sent and ignored",
       [](const GameOptions& o) -> std::unique_ptr<GameSim> {
         return std::make_unique<F1Sim>(portOr(o, f1::kPort));
       }},
      {"wrc", 11, "", "unused",
       [](const GameOptions& o) { return makeWrcSim(portOr(o, wrc::kPort)); }},
      {"beamng", 12, "", "unused",
       [](const GameOptions& o) { return makeBeamNgSim(portOr(o, beamng::kPort)); }},
      {"lfs", 13, "LFS.exe", "unused",
       [](const GameOptions& o) { return makeLfsSim(portOr(o, lfs::kPort)); }},
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
