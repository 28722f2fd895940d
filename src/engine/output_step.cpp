// The output step of a Running cycle: the motion frame for the rig, the rig
// pose for motion cancel and the fan byte.
#include <cmath>

#include "engine/live_value.h"
#include "engine/motion_engine.h"
#include "riglink/link_state.h"

namespace portrelay {

// Time since the frame before, for the park's ramp: a stall counts at most
// kMaxFadeStepMs, like the fade, so it never shortens the ramp by a jump.
double MotionEngine::frameIntervalMs() {
  const platform::Clock& clock = loopTimer_.clock();
  const int64_t now = clock.counter();
  const double elapsedMs =
      hasFrameAt_ ? static_cast<double>(now - lastFrameAt_) * 1000.0 / static_cast<double>(clock.frequency()) : 0.0;
  lastFrameAt_ = now;
  hasFrameAt_ = true;
  return elapsedMs < kMaxFadeStepMs ? elapsedMs : kMaxFadeStepMs;
}

void MotionEngine::sendOutput() {
  AxisLimit limits[kRigAxisCount];
  for (int i = 0; i < kRigAxisCount; ++i)
    limits[i] = {rigLimits_[static_cast<size_t>(i)].min.load(std::memory_order_relaxed),
                 rigLimits_[static_cast<size_t>(i)].max.load(std::memory_order_relaxed)};
  float axes[kRigAxisCount];
  encoder_.clampAxes(outputCues_, limits, axes);

  ParkValues values{};
  for (int i = 0; i < kRigAxisCount; ++i) values[static_cast<size_t>(i)] = axes[i];
  values[kBeltChannel] = loadLive(outputCues_[cue::belt]);
  values[kFanChannel] = loadLive(outputCues_[cue::fan]);
  if (std::isnan(values[kFanChannel])) values[kFanChannel] = lastSent_[kFanChannel];
  if (park_.shape(values, lastSent_, frameIntervalMs())) restartFade();  // released: fade in from neutral

  // Last: no frame moves further from the one before than the rate limit.
  std::array<double, kRateLimitedChannels> limited;
  for (size_t i = 0; i < limited.size(); ++i) limited[i] = values[i];
  rateLimiter_.apply(limited);
  for (size_t i = 0; i < limited.size(); ++i) values[i] = limited[i];
  for (int i = 0; i < kRigAxisCount; ++i) axes[i] = static_cast<float>(values[static_cast<size_t>(i)]);

  uint8_t frame[kOutputFrameSize];
  encoder_.writeFrame(axes, values[kBeltChannel], values[kFanChannel], frame);
  publishedFrame_.publish(frame);
  // Queued whole: the message rule that cuts at the first 0A 0D would shorten
  // frames whose floats happen to contain that pair.
  (void)link_.queueMotionFrame(frame, sizeof frame);  // a refused frame is replaced next cycle

  lastSent_ = values;
  for (int i = 0; i < kCueSlotCount; ++i) storeLive(sentOutputs_[i], loadLive(outputCues_[i]));
  for (int i = 0; i < kRigAxisCount; ++i) storeLive(sentOutputs_[i], axes[i]);
  storeLive(sentOutputs_[cue::belt], values[kBeltChannel]);
  storeLive(sentOutputs_[cue::fan], values[kFanChannel]);
  park_.frameSent(values);

  if (motionCancelActive_.load(std::memory_order_relaxed) != 0) publishPose();
  updateFan(values[kFanChannel]);
}

void MotionEngine::updateFan(double fanOutput) {
  if (airProfile_.activeSlots[cue::fan].load(std::memory_order_relaxed) == 0) return;
  const uint8_t speed = encoder_.fanByte(fanOutput);
  if (fan_.isRunning()) {
    fan_.offerByte(speed);
  } else if (fan_.isInit()) {
    fan_.start();  // this cycle's byte is not kept
  }
}

void MotionEngine::waitSendingPark(int milliseconds) {
  const auto parking = [this] {
    return park_.wanted() && motionSystemReady_.load(std::memory_order_relaxed) != 0;
  };
  const platform::Clock& clock = loopTimer_.clock();
  if (!parking()) {
    sleepMilliseconds(milliseconds, clock);
    return;
  }
  const int64_t deadline = clock.counter() + milliseconds * clock.frequency() / 1000;
  do {
    sendOutput();
    clock.sleepMicroseconds(static_cast<int64_t>(CycleTimer::kPeriodUs));
  } while (parking() && clock.counter() < deadline);
}

}  // namespace portrelay
