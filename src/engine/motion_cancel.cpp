// Motion cancel: activation, the pose section, and the smoothed pose written
// after each frame sent.
#include <cmath>
#include <cstring>

#include "engine/motion_engine.h"
#include "engine/setting_ranges.h"

namespace portrelay {

void MotionEngine::openPoseSection() {
  std::lock_guard lock(motionCancel.sectionLock);
  if (motionCancel.view.valid()) return;  // one handle and one view at a time
  motionCancel.section = platform::SharedMemory::createOrOpen(motionCancel.mappingName,
                                                             static_cast<size_t>(motionCancel.mappingSize));
  if (!motionCancel.section.valid()) return;
  motionCancel.view = platform::SharedView::map(motionCancel.section, platform::ViewAccess::ReadWrite,
                                                static_cast<size_t>(motionCancel.mappingSize));
  if (!motionCancel.view.valid()) motionCancel.section.close();
}

void MotionEngine::activateMotionCancel(bool enable) {
  if (enable) {
    motionCancelActive.exchange(1);
    openPoseSection();
    motionCancel.filter.store(kDefaultMotionCancelFilter, std::memory_order_relaxed);
    return;
  }
  motionCancelActive.exchange(0);
  std::lock_guard lock(motionCancel.sectionLock);
  motionCancel.view.unmap();
  motionCancel.section.close();
}

bool MotionEngine::setMotionCancelFilter(double value) {
  if (motionCancelActive.load(std::memory_order_relaxed) == 0) return false;
  if (!(value >= kMinMotionCancelFilter) || !withinMagnitude(value, kMaxMotionCancelFilter)) return false;
  motionCancel.filter.store(value, std::memory_order_relaxed);
  return true;
}

bool MotionEngine::setMotionCancelGain(double value) {
  if (motionCancelActive.load(std::memory_order_relaxed) == 0) return false;
  if (!withinMagnitude(value, kMaxMotionCancelGain)) return false;
  motionCancel.gain.store(value, std::memory_order_relaxed);
  return true;
}

void MotionEngine::publishPose() {
  MotionCancel& mc = motionCancel;
  const double gain = mc.gain.load(std::memory_order_relaxed);
  const double filter = mc.filter.load(std::memory_order_relaxed);
  for (int i = 0; i < kRigAxisCount; ++i) {
    mc.rawPose[i] = gain * outputCues[i];
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
