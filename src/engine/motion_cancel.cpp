// Motion cancel: activation, the pose section, and the smoothed pose written
// after each frame sent.
#include <cmath>
#include <cstring>

#include "engine/motion_engine.h"
#include "engine/setting_ranges.h"

namespace portrelay {

void MotionEngine::openPoseSection() {
  std::lock_guard lock(motionCancel_.sectionLock);
  if (motionCancel_.view.valid()) return;  // one handle and one view at a time
  motionCancel_.section = platform::SharedMemory::createOrOpen(motionCancel_.mappingName,
                                                             static_cast<size_t>(motionCancel_.mappingSize));
  if (!motionCancel_.section.valid()) return;
  motionCancel_.view = platform::SharedView::map(motionCancel_.section, platform::ViewAccess::ReadWrite,
                                                static_cast<size_t>(motionCancel_.mappingSize));
  if (!motionCancel_.view.valid()) motionCancel_.section.close();
}

void MotionEngine::activateMotionCancel(bool enable) {
  if (enable) {
    motionCancelActive_.exchange(1);
    openPoseSection();
    motionCancel_.filter.store(kDefaultMotionCancelFilter, std::memory_order_relaxed);
    return;
  }
  motionCancelActive_.exchange(0);
  std::lock_guard lock(motionCancel_.sectionLock);
  motionCancel_.view.unmap();
  motionCancel_.section.close();
}

bool MotionEngine::setMotionCancelFilter(double value) {
  if (motionCancelActive_.load(std::memory_order_relaxed) == 0) return false;
  if (!(value >= kMinMotionCancelFilter) || !withinMagnitude(value, kMaxMotionCancelFilter)) return false;
  motionCancel_.filter.store(value, std::memory_order_relaxed);
  return true;
}

bool MotionEngine::setMotionCancelGain(double value) {
  if (motionCancelActive_.load(std::memory_order_relaxed) == 0) return false;
  if (!withinMagnitude(value, kMaxMotionCancelGain)) return false;
  motionCancel_.gain.store(value, std::memory_order_relaxed);
  return true;
}

MotionCancelSettings MotionEngine::motionCancelSettings() const {
  return {motionCancelActive_.load(std::memory_order_relaxed) != 0,
          motionCancel_.filter.load(std::memory_order_relaxed), motionCancel_.gain.load(std::memory_order_relaxed)};
}

void MotionEngine::publishPose() {
  MotionCancel& mc = motionCancel_;
  const double gain = mc.gain.load(std::memory_order_relaxed);
  const double filter = mc.filter.load(std::memory_order_relaxed);
  for (int i = 0; i < kRigAxisCount; ++i) {
    mc.rawPose[i] = gain * outputCues_[i];
    mc.currentPose[i] = mc.rawPose[i];
    const double next = (mc.currentPose[i] - mc.rigPose[i]) / filter + mc.rigPose[i];
    if (std::isfinite(next)) mc.rigPose[i] = next;  // a NaN output holds the pose
  }
  std::unique_lock lock(mc.sectionLock, std::try_to_lock);
  if (!lock.owns_lock() || !mc.view.valid()) return;
  uint8_t* out = mc.view.writableData();
  for (int i = 0; i < kRigAxisCount; ++i) {
    uint64_t bits;
    std::memcpy(&bits, &mc.rigPose[i], sizeof bits);
    uint8_t bytes[8];
    for (int b = 0; b < 8; ++b) bytes[b] = static_cast<uint8_t>(bits >> (8 * b));
    std::memcpy(out + 8 * i, bytes, sizeof bytes);
  }
}

}  // namespace portrelay
