// The engine's C ABI. Every export obtains the engine object and catches every
// exception: nothing may unwind into the host.
#include <cstring>
#include <span>

#include "engine/live_value.h"
#include "engine/motion_engine.h"
#include "portrelay/portrelay.h"

using portrelay::MotionEngine;

namespace {

template <typename Result, typename Body>
Result guarded(Result onFailure, Body&& body) noexcept {
  try {
    return body(MotionEngine::instance());
  } catch (...) {
    return onFailure;
  }
}

template <typename Body>
void guarded(Body&& body) noexcept {
  try {
    body(MotionEngine::instance());
  } catch (...) {
  }
}

}  // namespace

extern "C" {

int32_t startGamesource_Thread(void) {
  return guarded(int32_t{0}, [](MotionEngine& e) { return e.start(); });
}

bool stopGamesource_Thread(void) {
  return guarded(false, [](MotionEngine& e) { return e.stop(); });
}

void setMotionsystemready(int32_t ready) {
  guarded([&](MotionEngine& e) { e.setMotionSystemReady(ready); });
}

void setTimerPrecision(int32_t mode) {
  guarded([&](MotionEngine& e) { e.setTimerPrecision(mode); });
}

int32_t getGameID(void) {
  return guarded(int32_t{-1}, [](MotionEngine& e) { return static_cast<int32_t>(e.games().getGameID()); });
}

void getGameName(char* buffer) {
  guarded([&](MotionEngine& e) { e.games().getGameName(buffer); });
}

double getGameTimeFrame(void) {
  return guarded(0.0, [](MotionEngine& e) { return e.games().timeFrame(); });
}

double getMotionDataTimeFrame(void) {
  return guarded(0.0, [](MotionEngine& e) { return e.cycleLengthMs(); });
}

int32_t getDetectionClues(int32_t gameId) {
  return guarded(int32_t{-1}, [&](MotionEngine& e) {
    if (static_cast<uint32_t>(gameId) >= static_cast<uint32_t>(portrelay::kGameCount)) return int32_t{-1};
    const portrelay::GameReader* reader = e.games().reader(gameId);
    return reader != nullptr ? reader->detectionClues() : int32_t{0};
  });
}

void getEngineStalls(int32_t* longCycles, double* longestMs) {
  try {
    const portrelay::EngineStalls stalls = MotionEngine::instance().stalls();
    if (longCycles != nullptr) *longCycles = stalls.longCycles;
    if (longestMs != nullptr) *longestMs = stalls.longestMs;
  } catch (...) {
    if (longCycles != nullptr) *longCycles = 0;
    if (longestMs != nullptr) *longestMs = 0.0;
  }
}

int32_t getGameDataCount(void) {
  return guarded(int32_t{44}, [](MotionEngine&) { return int32_t{44}; });
}

void getGameData(double** data, int32_t* count) {
  guarded([&](MotionEngine& e) {
    if (data != nullptr) *data = e.games().record().data;
    if (count != nullptr) *count = portrelay::kGameDataCount;
  });
}

void getGameDataNames(const char** firstName, int32_t* count) {
  guarded([&](MotionEngine&) {
    if (firstName != nullptr) *firstName = portrelay::channelNameList();
    if (count != nullptr) *count = portrelay::kGameDataCount;
  });
}

void getMotionCueData(int32_t kind, double** data, int32_t* count) {
  guarded([&](MotionEngine& e) {
    const std::span<double> cues = e.cues(kind);
    if (cues.empty()) return;
    if (data != nullptr) *data = cues.data();
    if (count != nullptr) *count = portrelay::kCueSlotCount;
  });
}

void getOutputData(uint8_t* buffer) {
  guarded([&](MotionEngine& e) {
    if (buffer != nullptr) e.copyOutputFrame(buffer);
  });
}

void setActiveAxis(int32_t profile, int32_t slot, int32_t active) {
  guarded([&](MotionEngine& e) { e.setActiveAxis(profile, slot, active); });
}

void setBelt_Mix(int32_t profile, int32_t index, double weight) {
  guarded([&](MotionEngine& e) { e.setBeltMix(profile, index, weight); });
}

void SetRigDofLimitValue(int32_t slot, double min, double max) {
  guarded([&](MotionEngine& e) { e.setRigLimit(slot, min, max); });
}

void SetInputDofLimitValue(int32_t slot, double min, double max) {
  guarded([&](MotionEngine& e) { e.setInputLimit(slot, min, max); });
}

int32_t getactiveProfil(void) {
  return guarded(int32_t{0}, [](MotionEngine& e) { return e.activeProfile(); });
}

double getTransitionStatus(void) {
  return guarded(100.0, [](MotionEngine& e) { return e.transitionStatus(); });
}

double getProfilAirTransitionStatus(void) {
  return guarded(100.0, [](MotionEngine& e) { return e.airTransitionStatus(); });
}

double getProfilGrdTransitionStatus(void) {
  return guarded(0.0, [](MotionEngine& e) { return e.groundTransitionStatus(); });
}

void activateMotionCancel(uint8_t enable) {
  guarded([&](MotionEngine& e) { e.activateMotionCancel(enable != 0); });
}

bool setFilterMotionCancel(double value) {
  return guarded(false, [&](MotionEngine& e) { return e.setMotionCancelFilter(value); });
}

bool setGainMotionCancel(double value) {
  return guarded(false, [&](MotionEngine& e) { return e.setMotionCancelGain(value); });
}

double* GetCalculationSnapshots(int32_t* count) {
  return guarded(static_cast<double*>(nullptr), [&](MotionEngine& e) {
    return reinterpret_cast<double*>(e.drainCalculationSnapshots(count));
  });
}

double* GetAccelerationSnapshots(int32_t* count) {
  return guarded(static_cast<double*>(nullptr), [&](MotionEngine& e) {
    return reinterpret_cast<double*>(e.drainAccelerationSnapshots(count));
  });
}

double* GetFrameSnapshots(int32_t* count) {
  return guarded(static_cast<double*>(nullptr), [&](MotionEngine& e) {
    return reinterpret_cast<double*>(e.drainFrameSnapshots(count));
  });
}

// One routine for every kind: the arrays come from the same allocator.
void FreeCalculationSnapshots(double* snapshots) { portrelay::releaseDrained(snapshots); }

void FreeAccelerationSnapshots(double* snapshots) { portrelay::releaseDrained(snapshots); }

void FreeFrameSnapshots(double* snapshots) { portrelay::releaseDrained(snapshots); }

double* GetPositionSnapshot(void) {
  return guarded(static_cast<double*>(nullptr), [](MotionEngine& e) { return e.positionSnapshot(); });
}

}  // extern "C"
