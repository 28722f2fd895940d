#include "sources/game_source.h"
#include "sources/readers/assetto_corsa.h"
#include "sources/readers/flight_simulator.h"
#include "sources/readers/iracing.h"
#include "sources/readers/network_games.h"
#include "sources/readers/nolimits2.h"
#include "sources/readers/pcars2.h"
#include "sources/readers/raceroom.h"
#include "sources/readers/rfactor2.h"
#include "sources/readers/truck_sim.h"

namespace portrelay {

// Installs one reader per supported game id, on the games' own ports and names.
void installSupportedGames(GameSource& source) {
  using namespace readers;
  source.installReader(0, std::make_unique<XPlaneReader>());
  source.installReader(1, std::make_unique<DcsReader>());
  source.installReader(2, std::make_unique<FlightSimulatorReader>(L"FlightSimulator.exe",
                                                                  clientConnector()));
  source.installReader(3, std::make_unique<AssettoCorsaReader>());
  source.installReader(4, std::make_unique<RaceRoomReader>());
  source.installReader(5, std::make_unique<DirtRally2Reader>());
  source.installReader(6, std::make_unique<Condor2Reader>());
  source.installReader(7, std::make_unique<F1Reader>());
  source.installReader(8, std::make_unique<NoLimits2Reader>());
  source.installReader(9, std::make_unique<ProjectCarsReader>());
  source.installReader(10, std::make_unique<IRacingReader>());
  source.installReader(11, std::make_unique<WrcReader>());
  source.installReader(12, std::make_unique<BeamNgReader>());
  source.installReader(13, std::make_unique<LfsReader>());
  source.installReader(14, std::make_unique<RFactor2Reader>());
  source.installReader(15, std::make_unique<FlightSimulatorReader>(L"FlightSimulator2024.exe",
                                                                   clientConnector()));
  source.installReader(16, std::make_unique<AssettoCorsaEvoReader>());
  source.installReader(17, std::make_unique<TruckSimReader>());
}

}  // namespace portrelay
