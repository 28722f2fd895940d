// Every name the shared library must export. Later subsystems add theirs here.
#pragma once

namespace portrelay::testing {

inline constexpr const char* kExportNames[] = {
    "initWindSerial",         "getPortRelayVersion",
    "startGamesource_Thread", "stopGamesource_Thread", "setMotionsystemready",
    "setTimerPrecision",      "getGameID",             "getGameName",
    "getGameTimeFrame",       "getMotionDataTimeFrame", "getEngineStalls",
    "getGameDataCount",       "getDetectionClues",
    "getGameData",            "getGameDataNames",      "getMotionCueData",
    "getOutputData",          "setActiveAxis",         "setBelt_Mix",
    "SetRigDofLimitValue",    "SetInputDofLimitValue", "getactiveProfil",
    "getTransitionStatus",    "getProfilAirTransitionStatus", "getProfilGrdTransitionStatus",
    "setcheckFilterstring",
    "setOutputRateLimit",     "parkRig",               "getParkStatus",
    "checkFilterstring",
    "getSerialPortInfo",
    // motion cancel and snapshots
    "activateMotionCancel",   "setFilterMotionCancel", "setGainMotionCancel",
    "GetCalculationSnapshots", "FreeCalculationSnapshots", "GetAccelerationSnapshots",
    "FreeAccelerationSnapshots", "GetPositionSnapshot", "GetFrameSnapshots", "FreeFrameSnapshots",
    // rig link
    "startPortRelay_Thread",  "stopPortRelay_Thread",  "sendMessagemmf",
    "autoMessagemmf",         "readMessagemmf",        "newMessagemmf",
    "isConnected",            "isInterfaceRunning",    "pauseInterface",
    "resumeInterface",        "enableAutoconnect",     "disableAutoconnect",
    "setStandartPort",        "getOutputTimeFrame",    "getPortRelayThreads",
    "getRigLinkStatus",
    // diagnostics
    "setDiagnosticOutput",
    // UDP link
    "startUPDMulticastSenderThread", "startUPDListenThread", "setMulticastAddr", "setUDPport",
};

}  // namespace portrelay::testing
