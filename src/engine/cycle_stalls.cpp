#include "engine/cycle_stalls.h"

#include <cmath>
#include <limits>

namespace portrelay {
namespace {

constexpr uint64_t kMaxMicroseconds = std::numeric_limits<uint32_t>::max();

uint64_t secondOf(int64_t ms) { return static_cast<uint64_t>(ms < 0 ? 0 : ms / 1000) + 1; }

}  // namespace

void CycleStalls::record(double cycleMs, int64_t endMs) noexcept {
  if (!(cycleMs >= 0.0)) return;  // NaN or negative: no cycle
  const double us = std::ceil(cycleMs * 1000.0);
  const uint64_t cycleUs = us >= static_cast<double>(kMaxMicroseconds) ? kMaxMicroseconds : static_cast<uint64_t>(us);
  const uint64_t second = secondOf(endMs);
  std::atomic<uint64_t>& slot = seconds_[second % seconds_.size()];
  const uint64_t held = slot.load(std::memory_order_relaxed);
  // Only this thread writes: a load and a store are enough.
  if ((held >> 32) != second || cycleUs > (held & kMaxMicroseconds))
    slot.store(second << 32 | cycleUs, std::memory_order_relaxed);
  if (cycleMs > kLongCycleMs) {
    const int32_t count = longCycles_.load(std::memory_order_relaxed);
    if (count < std::numeric_limits<int32_t>::max()) longCycles_.store(count + 1, std::memory_order_relaxed);
  }
}

void CycleStalls::reset() noexcept {
  for (auto& slot : seconds_) slot.store(0, std::memory_order_relaxed);
  longCycles_.store(0, std::memory_order_relaxed);
}

double CycleStalls::longestMs(int64_t nowMs) const noexcept {
  const uint64_t now = secondOf(nowMs);
  uint64_t longestUs = 0;
  for (const auto& slot : seconds_) {
    const uint64_t held = slot.load(std::memory_order_relaxed);
    const uint64_t second = held >> 32;
    if (second == 0 || second > now || now - second > static_cast<uint64_t>(kWindowSeconds)) continue;
    if ((held & kMaxMicroseconds) > longestUs) longestUs = held & kMaxMicroseconds;
  }
  return static_cast<double>(longestUs) / 1000.0;
}

}  // namespace portrelay
