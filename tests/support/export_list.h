// Every name the shared library must export. Later subsystems add theirs here.
#pragma once

namespace portrelay::testing {

inline constexpr const char* kExportNames[] = {
    "startGamesource_Thread", "stopGamesource_Thread", "setMotionsystemready",
    "setTimerPrecision",      "getGameID",             "getGameName",
    "getGameTimeFrame",       "getMotionDataTimeFrame", "getGameDataCount",
    "getGameData",            "getGameDataNames",      "getMotionCueData",
    "getOutputData",          "setActiveAxis",         "setBelt_Mix",
    "SetRigDofLimitValue",    "SetInputDofLimitValue", "getactiveProfil",
    "getTransitionStatus",    "getProfilAirTransitionStatus", "getProfilGrdTransitionStatus",
    "setcheckFilterstring",
};

}  // namespace portrelay::testing
