// The library's exports as a host sees them: function pointers looked up by
// name in the loaded shared library.
#pragma once
#include <cstdint>
#include <string>

#include "platform/tools/dynamic_library.h"

namespace host {

struct LibraryApi {
  int32_t (*startGamesource_Thread)();
  bool (*stopGamesource_Thread)();
  void (*setMotionsystemready)(int32_t);
  int32_t (*getGameID)();
  void (*getGameName)(char*);
  double (*getGameTimeFrame)();
  double (*getMotionDataTimeFrame)();
  void (*getMotionCueData)(int32_t, double**, int32_t*);
  void (*getOutputData)(uint8_t*);
  void (*setActiveAxis)(int32_t, int32_t, int32_t);
  void (*setBelt_Mix)(int32_t, int32_t, double);
  void (*SetRigDofLimitValue)(int32_t, double, double);
  void (*SetInputDofLimitValue)(int32_t, double, double);
  int32_t (*getactiveProfil)();
  double (*getTransitionStatus)();
  bool (*setcheckFilterstring)(int32_t, int32_t, const char*);
  int32_t (*startPortRelay_Thread)();
  void (*stopPortRelay_Thread)();
  int32_t (*isConnected)();
  int32_t (*enableAutoconnect)();
  double (*getOutputTimeFrame)();
  int32_t (*initWindSerial)(const wchar_t*, int32_t, const wchar_t*, int32_t);
  // The COM-port test seam (not a host export): registers a pseudo-terminal.
  int32_t (*portrelaySeam_addComPort)(int32_t, const char*, const char*, const char*);
  void (*portrelaySeam_clearComPorts)();
};

// Looks every export up; false (with the missing name) when one is absent.
bool resolve(const portrelay::platform::DynamicLibrary& library, LibraryApi& api, std::string& missing);

}  // namespace host
