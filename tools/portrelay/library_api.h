// The library's exports as a host sees them: function pointers looked up by
// name in the loaded shared library.
#pragma once
#include <cstdint>
#include <string>

#include "tools/platform/dynamic_library.h"

namespace host {

struct LibraryApi {
  int32_t (*startGamesource_Thread)();
  bool (*stopGamesource_Thread)();
  void (*setMotionsystemready)(int32_t);
  void (*setTimerPrecision)(int32_t);
  int32_t (*getGameID)();
  void (*getGameName)(char*);
  double (*getGameTimeFrame)();
  double (*getMotionDataTimeFrame)();
  void (*getGameDataNames)(const char**, int32_t*);
  void (*getMotionCueData)(int32_t, double**, int32_t*);
  void (*getOutputData)(uint8_t*);
  void (*setActiveAxis)(int32_t, int32_t, int32_t);
  void (*setBelt_Mix)(int32_t, int32_t, double);
  void (*SetRigDofLimitValue)(int32_t, double, double);
  void (*SetInputDofLimitValue)(int32_t, double, double);
  int32_t (*setOutputRateLimit)(int32_t, double);
  int32_t (*parkRig)(int32_t);
  int32_t (*getParkStatus)();
  void (*getEngineStalls)(int32_t*, double*);
  int32_t (*getDetectionClues)(int32_t);
  int32_t (*getRigLinkStatus)(int32_t*, int32_t*, int32_t*, int32_t*, int32_t*);
  int32_t (*setDiagnosticOutput)(int32_t, void (*)(int32_t, const char*, void*), void*);
  int32_t (*getactiveProfil)();
  double (*getTransitionStatus)();
  double (*getProfilAirTransitionStatus)();
  double (*getProfilGrdTransitionStatus)();
  double* (*GetCalculationSnapshots)(int32_t*);
  double* (*GetAccelerationSnapshots)(int32_t*);
  double* (*GetFrameSnapshots)(int32_t*);
  void (*FreeCalculationSnapshots)(double*);
  bool (*setcheckFilterstring)(int32_t, int32_t, const char*);
  int32_t (*checkFilterstring)(const char*, char*, int32_t, int32_t*);
  int32_t (*startPortRelay_Thread)();
  void (*stopPortRelay_Thread)();
  int32_t (*isConnected)();
  int32_t (*isInterfaceRunning)();
  int32_t (*enableAutoconnect)();
  int32_t (*disableAutoconnect)();
  int32_t (*setStandartPort)(const char*);
  int32_t (*resumeInterface)();
  double (*getOutputTimeFrame)();
  int32_t (*getSerialPortInfo)(int32_t, int32_t*, char*, int32_t, char*, int32_t, uint8_t*);
  int32_t (*initWindSerial)(const wchar_t*, int32_t, const wchar_t*, int32_t);
};

// The COM-port test seam of the library's test variant (not a host export):
// registers a pseudo-terminal as a COM port with device information.
struct SeamApi {
  int32_t (*portrelaySeam_addComPort)(int32_t, const char*, const char*, const char*);
  void (*portrelaySeam_clearComPorts)();
};

// Looks every export up; false (with the missing name) when one is absent.
bool resolve(const portrelay::platform::DynamicLibrary& library, LibraryApi& api, std::string& missing);
bool resolve(const portrelay::platform::DynamicLibrary& library, SeamApi& api, std::string& missing);

}  // namespace host
