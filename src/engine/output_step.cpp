// The output step of a Running cycle: the motion frame for the rig, the rig
// pose for motion cancel and the fan byte.
#include "engine/live_value.h"
#include "engine/motion_engine.h"
#include "riglink/link_state.h"

namespace portrelay {

void MotionEngine::sendOutput() {
  AxisLimit limits[kRigAxisCount];
  for (int i = 0; i < kRigAxisCount; ++i)
    limits[i] = {rigLimits[static_cast<size_t>(i)].min.load(std::memory_order_relaxed),
                 rigLimits[static_cast<size_t>(i)].max.load(std::memory_order_relaxed)};
  uint8_t frame[kOutputFrameSize];
  encoder_.encodeFrame(outputCues, limits, frame);
  publishedFrame_.publish(frame);
  // Queued whole: the message rule that cuts at the first 0A 0D would shorten
  // frames whose floats happen to contain that pair.
  (void)link_.queueMotionFrame(frame, sizeof frame);  // a refused frame is replaced next cycle
  if (motionCancelActive.load(std::memory_order_relaxed) != 0) publishPose();
  updateFan();
}

void MotionEngine::updateFan() {
  if (airProfile.activeSlots[cue::fan].load(std::memory_order_relaxed) == 0) return;
  const uint8_t speed = encoder_.fanByte(outputCues[cue::fan]);
  if (fan.isRunning()) {
    fan.offerByte(speed);
  } else if (fan.isInit()) {
    fan.start();  // this cycle's byte is not kept
  }
}

}  // namespace portrelay
