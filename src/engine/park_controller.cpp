#include "engine/park_controller.h"

#include <algorithm>

namespace portrelay {

void ParkController::request(int32_t durationMs) {
  const int32_t clamped = durationMs <= 0 ? 0 : std::clamp(durationMs, kMinDurationMs, kMaxDurationMs);
  requestedMs_.store(clamped, std::memory_order_relaxed);
  // Reported at once, so a host that parks (or releases) and then polls
  // never reads the state from before its request.
  if (clamped == 0) {
    status_.store(kNotParked, std::memory_order_relaxed);
  } else if (status() == kNotParked) {
    status_.store(kMoving, std::memory_order_relaxed);
  }
  requests_.fetch_add(1, std::memory_order_release);
}

bool ParkController::shape(ParkValues& values, const ParkValues& lastSent, double elapsedMs) {
  bool released = false;
  const uint32_t requests = requests_.load(std::memory_order_acquire);
  if (requests != requestsSeen_) {
    requestsSeen_ = requests;
    const int32_t durationMs = requestedMs_.load(std::memory_order_relaxed);
    if (durationMs > 0) {
      active_ = true;
      durationMs_ = durationMs;
      progress_ = 0.0;
      start_ = lastSent;
      status_.store(kMoving, std::memory_order_relaxed);
    } else {
      released = active_;
      active_ = false;
      status_.store(kNotParked, std::memory_order_relaxed);
    }
  }
  if (!active_) return released;
  if (!(elapsedMs > 0.0)) elapsedMs = 0.0;
  progress_ = std::min(1.0, progress_ + elapsedMs / durationMs_);
  for (size_t i = 0; i < values.size(); ++i) values[i] = progress_ >= 1.0 ? 0.0 : start_[i] * (1.0 - progress_);
  return released;
}

void ParkController::frameSent(const ParkValues& sent) {
  if (!active_ || !wanted()) return;  // a release already asked for wins
  const bool neutral = std::all_of(sent.begin(), sent.end(), [](double v) { return v == 0.0; });
  status_.store(neutral ? kParked : kMoving, std::memory_order_relaxed);
}

}  // namespace portrelay
