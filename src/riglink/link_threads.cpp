#include "riglink/link_threads.h"

#include <algorithm>

#include "common/cycle_timer.h"
#include "platform/clock.h"

namespace portrelay {
namespace {
// A stop ends a pause within this long (plus the timer's resolution).
constexpr int kSliceMs = 5;
}  // namespace

bool LinkThreads::pending(size_t body) const {
  const int64_t since = stopPendingSince_[body];
  if (since == 0) return false;
  const int64_t ageMs = (platform::performanceCounter() - since) * 1000 / platform::performanceFrequency();
  return ageMs <= kKeptStopMs;
}

bool LinkThreads::enter(LinkThread body) {
  std::lock_guard lock(mutex_);
  const bool stopWaits = pending(index(body));
  stopPendingSince_[index(body)] = 0;
  if (stopWaits) return false;
  running_[index(body)].fetch_add(1, std::memory_order_relaxed);
  return true;
}

void LinkThreads::leave(LinkThread body) {
  std::lock_guard lock(mutex_);
  running_[index(body)].fetch_sub(1, std::memory_order_release);
}

void LinkThreads::requestStop() {
  std::lock_guard lock(mutex_);
  const int64_t now = std::max<int64_t>(platform::performanceCounter(), 1);
  for (size_t i = 0; i < running_.size(); ++i)
    if (running_[i].load(std::memory_order_relaxed) == 0) stopPendingSince_[i] = now;
}

int32_t LinkThreads::runningMask() const {
  int32_t mask = 0;
  for (size_t i = 0; i < running_.size(); ++i)
    if (running_[i].load(std::memory_order_acquire) > 0) mask |= 1 << i;
  return mask;
}

bool LinkThreads::anyRunning() const {
  std::lock_guard lock(mutex_);
  return runningMask() != 0;
}

int32_t LinkThreads::stopPendingMask() const {
  std::lock_guard lock(mutex_);
  int32_t mask = 0;
  for (size_t i = 0; i < stopPendingSince_.size(); ++i)
    if (pending(i)) mask |= 1 << i;
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
