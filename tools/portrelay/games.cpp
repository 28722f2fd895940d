#include "games.h"

namespace host {

const std::vector<SupportedGame>& supportedGames() {
  static const std::vector<SupportedGame> games = {
      {0, "Xplane", "UDP", "port 4321", "X-Plane.exe", "X-Plane.exe", "xplane"},
      {1, "DCS", "UDP", "port 4124", "DCS.exe", "DCS.exe, DCS64.exe", "dcs"},
      {2, "MSFS2020", "client connection", "client \"Tiltaverse\"", "FlightSimulator.exe", "FlightSimulator.exe", ""},
      {3, "AssettoCorsa/Comp.", "shared memory", "Local\\acpmf_physics, Local\\acpmf_graphics", "", "", "assetto-corsa"},
      {4, "RaceRoom", "shared memory", "$R3E", "RRRE64.exe", "RRRE64.exe, RRRE.exe", "raceroom"},
      {5, "DirtRally2", "UDP", "port 20778", "", "", "dirt-rally2"},
      {6, "Condor2", "UDP", "port 55278", "", "", "condor2"},
      {7, "F1-2023-24", "UDP", "port 20777", "F1_24.exe", "F1_23.exe, F1_23_64.exe, F1_24.exe, F1_24_64.exe", "f1"},
      {8, "NoLimits2", "TCP", "127.0.0.1 port 15151", "", "", "nolimits2"},
      {9, "PCAR2/Automobilista2", "shared memory", "$pcars2$", "", "", "pcars2"},
      {10, "iRacing", "shared memory", "Local\\IRSDKMemMapFileName", "iRacingSim64DX11.exe", "iRacingSim64DX11.exe, Iracing.exe", "iracing"},
      {11, "WRC23", "UDP", "port 20788", "", "", "wrc"},
      {12, "BeamNG", "UDP", "port 4444", "", "", "beamng"},
      {13, "LFS", "UDP", "port 4123", "LFS.exe", "LFS.exe, LFS64.exe", "lfs"},
      {14, "rFactor2", "shared memory", "Local\\Tiltaverse_rf2_data", "rFactor2.exe", "rFactor2.exe", "rfactor2"},
      {15, "MSFS2024", "client connection", "client \"Tiltaverse\"", "FlightSimulator2024.exe", "FlightSimulator2024.exe", ""},
      {16, "AssettoCorsaEvo", "shared memory", "Local\\acpmf_physics", "AssettoCorsaEVO.exe", "AssettoCorsaEVO.exe", "assetto-corsa-evo"},
      {17, "ETSM2/AMT", "shared memory", "SCSTelemetryExample", "eurotrucks2.exe", "eurotrucks2.exe", "truck-sim"},
  };
  return games;
}

const SupportedGame* findSimulatedGame(std::string_view key) {
  for (const SupportedGame& game : supportedGames())
    if (!game.simulateKey.empty() && game.simulateKey == key) return &game;
  return nullptr;
}

}  // namespace host
