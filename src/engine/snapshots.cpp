// Snapshots: each Running cycle's calculated slot values and raw game data.
#include <cstring>

#include "engine/live_value.h"
#include "engine/motion_engine.h"

namespace portrelay {

void MotionEngine::recordSnapshots() {
  CalculationSnapshot calculation;
  for (int i = 0; i < kCueSlotCount; ++i) {
    const bool fromAirCues = i >= cue::beltSurge && i <= cue::effectPitch;
    calculation.values[i] = loadLive(fromAirCues ? airCues[i] : outputCues[i]);
    storeLive(positionSnapshot[i], calculation.values[i]);
  }
  calculationHistory.append(calculation);

  AccelerationSnapshot acceleration;
  std::memcpy(acceleration.values, games.record().data, sizeof acceleration.values);
  accelerationHistory.append(acceleration);
}

}  // namespace portrelay
