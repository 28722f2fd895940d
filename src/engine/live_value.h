// Access to the engine's live arrays. The host reads these arrays by address
// without a lock; inside the library, the values that two threads touch (the
// outputs and the fade start, which host-side restartFade copies) are accessed
// through relaxed atomic references. On x86-64 these are plain moves.
#pragma once
#include <atomic>

namespace portrelay {

inline double loadLive(const double& value) {
  return std::atomic_ref<const double>(value).load(std::memory_order_relaxed);
}

inline void storeLive(double& slot, double value) {
  std::atomic_ref<double>(slot).store(value, std::memory_order_relaxed);
}

}  // namespace portrelay
