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
    calculation.values[i] = loadLive(fromAirCues ? airCues_[i] : outputCues_[i]);
    storeLive(positionSnapshot_[i], calculation.values[i]);
  }
  calculationHistory_.append(calculation);

  AccelerationSnapshot acceleration;
  std::memcpy(acceleration.values, games_.record().data, sizeof acceleration.values);
  accelerationHistory_.append(acceleration);
}

void MotionEngine::recordFrameSnapshot(bool sent) {
  FrameSnapshot record;
  const platform::Clock& clock = loopTimer_.clock();
  record.values[0] = static_cast<double>(clock.counter()) / static_cast<double>(clock.frequency());
  record.values[1] = static_cast<double>(games_.getGameID());
  for (int i = 2; i < kFrameSnapshotValues; ++i) record.values[i] = std::nan("");
  if (sent) {  // the frame this cycle published; a cycle that sent none reads none back
    uint8_t frame[kOutputFrameSize];
    publishedFrame_.copy(frame);
    const MotionFrameValues sentValues = decodeMotionFrame(frame);
    for (int i = 0; i < kRigAxisCount; ++i) record.values[2 + i] = sentValues.axes[static_cast<size_t>(i)];
    record.values[8] = sentValues.belt;
    record.values[9] = sentValues.fan;
  }
  frameHistory_.append(record);
}

}  // namespace portrelay
