// Snapshots: each Running cycle's calculated slot values and raw game data.
#include <cmath>
#include <cstring>

#include "engine/live_value.h"
#include "engine/motion_engine.h"
#include "engine/output_frame.h"
#include "platform/clock.h"

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

void MotionEngine::recordFrameSnapshot(bool sent) {
  FrameSnapshot record;
  record.values[0] = static_cast<double>(platform::performanceCounter()) /
                     static_cast<double>(platform::performanceFrequency());
  record.values[1] = static_cast<double>(games.getGameID());
  uint8_t frame[kOutputFrameSize];
  publishedFrame_.copy(frame);
  const MotionFrameValues sentValues = decodeMotionFrame(frame);
  for (int i = 0; i < kRigAxisCount; ++i)
    record.values[2 + i] = sent ? static_cast<double>(sentValues.axes[static_cast<size_t>(i)]) : std::nan("");
  record.values[8] = sent ? static_cast<double>(sentValues.belt) : std::nan("");
  record.values[9] = sent ? static_cast<double>(sentValues.fan) : std::nan("");
  frameHistory.append(record);
}

}  // namespace portrelay
