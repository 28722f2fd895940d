// Output fade: after any change that could make the rig jump, the outputs blend
// from their last values to the live values over kFadeDurationMs of real time.
#include "engine/live_value.h"
#include "engine/motion_engine.h"
#include "engine/whole_percent.h"

namespace portrelay {

void MotionEngine::restartFade() {
  // From the outputs as last sent, not as last computed: while output is
  // suspended the outputs go on being computed, but the rig stays where the
  // last frame put it. Start values first, then the position: an engine step
  // that sees the new position 0 also sees the new start values (release
  // here, acquire there).
  for (int i = 0; i < kCueSlotCount; ++i) storeLive(fadeStart_[i], loadLive(sentOutputs_[i]));
  fadePosition_.store(0.0, std::memory_order_release);
}

void MotionEngine::stepFade() {
  const double initial = fadePosition_.load(std::memory_order_acquire);
  if (!(initial < 1.0)) return;
  double position = initial;
  for (int i = 0; i < kCueSlotCount; ++i) {
    const double start = loadLive(fadeStart_[i]);
    storeLive(outputCues_[i], (loadLive(outputCues_[i]) - start) * position + start);
  }
  // Real elapsed time of running motion, one cycle at a time; a single
  // late cycle counts at most kMaxFadeStepMs, so no stall can finish the fade.
  // Suspended output moves nothing, so the fade waits for it.
  double stepMs = outputSuspended_.load(std::memory_order_relaxed) != 0 ? 0.0 : loopTimer_.lastIntervalMs();
  if (!(stepMs >= 0.0)) stepMs = 0.0;
  if (stepMs > kMaxFadeStepMs) stepMs = kMaxFadeStepMs;
  position += stepMs * (1.0 / kFadeDurationMs);
  if (position > 1.0) position = 1.0;
  // A host restart that came in during this step wins.
  double expected = initial;
  fadePosition_.compare_exchange_strong(expected, position, std::memory_order_relaxed);
}

double MotionEngine::transitionStatus() const {
  return wholePercent(fadePosition_.load(std::memory_order_relaxed), false);
}

double MotionEngine::airTransitionStatus() const {
  return wholePercent(airWeight_.load(std::memory_order_relaxed), true);
}

double MotionEngine::groundTransitionStatus() const {
  return wholePercent(groundWeight_.load(std::memory_order_relaxed), true);
}

}  // namespace portrelay
