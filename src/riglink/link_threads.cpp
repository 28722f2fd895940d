#include "riglink/link_threads.h"

#include <algorithm>

#include "engine/cycle_timer.h"

namespace portrelay {
namespace {
// A stop ends a pause within this long (plus the timer's resolution).
constexpr int kSliceMs = 5;
}  // namespace

bool LinkThreads::enter(LinkThread body) {
  std::lock_guard lock(mutex_);
  if (stopPending_[index(body)]) {
    stopPending_[index(body)] = false;
    return false;
  }
  running_[index(body)].fetch_add(1, std::memory_order_relaxed);
  return true;
}

void LinkThreads::leave(LinkThread body) {
  std::lock_guard lock(mutex_);
  running_[index(body)].fetch_sub(1, std::memory_order_release);
}

void LinkThreads::requestStop() {
  std::lock_guard lock(mutex_);
  for (size_t i = 0; i < running_.size(); ++i)
    if (running_[i].load(std::memory_order_relaxed) == 0) stopPending_[i] = true;
}

int32_t LinkThreads::runningMask() const {
  int32_t mask = 0;
  for (size_t i = 0; i < running_.size(); ++i)
    if (running_[i].load(std::memory_order_acquire) > 0) mask |= 1 << i;
  return mask;
}

int32_t LinkThreads::stopPendingMask() const {
  std::lock_guard lock(mutex_);
  int32_t mask = 0;
  for (size_t i = 0; i < stopPending_.size(); ++i)
    if (stopPending_[i]) mask |= 1 << i;
  return mask;
}

void sleepWhileSet(const std::atomic<uint8_t>& keepGoing, int milliseconds) {
  while (milliseconds > 0 && keepGoing.load(std::memory_order_relaxed) != 0) {
    const int slice = std::min(milliseconds, kSliceMs);
    sleepMilliseconds(slice);
    milliseconds -= slice;
  }
}

}  // namespace portrelay
