// Output fade: after any change that could make the rig jump, the outputs blend
// from their last values to the live values over fadeDurationMs of real time.
#include "engine/live_value.h"
#include "engine/motion_engine.h"

namespace portrelay {
namespace {

// Whole percent of a weight, truncated toward zero and limited to [0, 100].
double wholePercent(double weight, bool limitBelow) {
  const double scaled = weight * 100.0;
  if (!(scaled < 2147483647.0)) return 100.0;  // also catches NaN
  if (scaled <= -2147483648.0) return limitBelow ? 0.0 : -2147483648.0;
  const int p = static_cast<int>(scaled);
  if (p > 100) return 100.0;
  if (limitBelow && p < 0) return 0.0;
  return p;
}

}  // namespace

void MotionEngine::restartFade() {
  // From the outputs as last sent, not as last computed: while output is
  // suspended the outputs go on being computed, but the rig stays where the
  // last frame put it. Start values first, then the position: an engine step
  // that sees the new position 0 also sees the new start values (release
  // here, acquire there).
  for (int i = 0; i < kCueSlotCount; ++i) storeLive(fadeStart[i], loadLive(sentOutputs_[i]));
  fadePosition.store(0.0, std::memory_order_release);
}

void MotionEngine::stepFade() {
  const double initial = fadePosition.load(std::memory_order_acquire);
  if (!(initial < 1.0)) return;
  double position = initial;
  for (int i = 0; i < kCueSlotCount; ++i) {
    const double start = loadLive(fadeStart[i]);
    storeLive(outputCues[i], (loadLive(outputCues[i]) - start) * position + start);
  }
  // Real elapsed time of running motion, one cycle at a time; a single
  // late cycle counts at most kMaxFadeStepMs, so no stall can finish the fade.
  // Suspended output moves nothing, so the fade waits for it.
  double stepMs = outputSuspended.load(std::memory_order_relaxed) != 0 ? 0.0 : loopTimer.lastIntervalMs();
  if (!(stepMs >= 0.0)) stepMs = 0.0;
  if (stepMs > kMaxFadeStepMs) stepMs = kMaxFadeStepMs;
  position += stepMs * (1.0 / fadeDurationMs);
  if (position > 1.0) position = 1.0;
  // A host restart that came in during this step wins.
  double expected = initial;
  fadePosition.compare_exchange_strong(expected, position, std::memory_order_relaxed);
}

double MotionEngine::transitionStatus() const {
  return wholePercent(fadePosition.load(std::memory_order_relaxed), false);
}

double MotionEngine::airTransitionStatus() const {
  return wholePercent(airWeight.load(std::memory_order_relaxed), true);
}

double MotionEngine::groundTransitionStatus() const {
  return wholePercent(groundWeight.load(std::memory_order_relaxed), true);
}

}  // namespace portrelay
