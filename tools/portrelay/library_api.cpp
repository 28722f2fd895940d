#include "library_api.h"

namespace host {

namespace {
template <typename Function>
bool lookUp(const portrelay::platform::DynamicLibrary& library, const char* name, Function& function,
            std::string& missing) {
  function = reinterpret_cast<Function>(library.symbol(name));
  if (function == nullptr && missing.empty()) missing = name;
  return function != nullptr;
}
}  // namespace

#define LOOK_UP(name) lookUp(library, #name, api.name, missing)

bool resolve(const portrelay::platform::DynamicLibrary& library, LibraryApi& api, std::string& missing) {
  missing.clear();
  LOOK_UP(startGamesource_Thread);
  LOOK_UP(stopGamesource_Thread);
  LOOK_UP(setMotionsystemready);
  LOOK_UP(setTimerPrecision);
  LOOK_UP(getGameID);
  LOOK_UP(getGameName);
  LOOK_UP(getGameTimeFrame);
  LOOK_UP(getMotionDataTimeFrame);
  LOOK_UP(getGameDataNames);
  LOOK_UP(getMotionCueData);
  LOOK_UP(getOutputData);
  LOOK_UP(setActiveAxis);
  LOOK_UP(setBelt_Mix);
  LOOK_UP(SetRigDofLimitValue);
  LOOK_UP(SetInputDofLimitValue);
  LOOK_UP(setOutputRateLimit);
  LOOK_UP(parkRig);
  LOOK_UP(getParkStatus);
  LOOK_UP(getEngineStalls);
  LOOK_UP(getDetectionClues);
  LOOK_UP(getRigLinkStatus);
  LOOK_UP(setDiagnosticOutput);
  LOOK_UP(getactiveProfil);
  LOOK_UP(getTransitionStatus);
  LOOK_UP(getProfilAirTransitionStatus);
  LOOK_UP(getProfilGrdTransitionStatus);
  LOOK_UP(GetCalculationSnapshots);
  LOOK_UP(GetAccelerationSnapshots);
  LOOK_UP(GetFrameSnapshots);
  LOOK_UP(FreeCalculationSnapshots);
  LOOK_UP(setcheckFilterstring);
  LOOK_UP(checkFilterstring);
  LOOK_UP(startPortRelay_Thread);
  LOOK_UP(stopPortRelay_Thread);
  LOOK_UP(isConnected);
  LOOK_UP(isInterfaceRunning);
  LOOK_UP(enableAutoconnect);
  LOOK_UP(disableAutoconnect);
  LOOK_UP(setStandartPort);
  LOOK_UP(resumeInterface);
  LOOK_UP(getOutputTimeFrame);
  LOOK_UP(getSerialPortInfo);
  LOOK_UP(initWindSerial);
  return missing.empty();
}

bool resolve(const portrelay::platform::DynamicLibrary& library, SeamApi& api, std::string& missing) {
  missing.clear();
  LOOK_UP(portrelaySeam_addComPort);
  LOOK_UP(portrelaySeam_clearComPorts);
  return missing.empty();
}

#undef LOOK_UP

}  // namespace host
