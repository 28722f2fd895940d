// Motion cancel: the pose the rig is driven to, smoothed, in the named section
// "Local\motionRigPose" that another process on the machine reads.
//
// Section layout (512 bytes): six little-endian IEEE doubles at offset 0, the
// smoothed outputs 0..5 (sway, surge, heave, yaw, roll, pitch) in the units of
// the engine's outputs before the rig limits; the rest is not written.
#pragma once
#include <atomic>
#include <mutex>
#include <string>

#include "engine/output_frame.h"
#include "platform/shared_memory.h"

namespace portrelay {

inline constexpr const char* kPoseSectionName = "Local\\motionRigPose";
inline constexpr int kPoseSectionSize = 512;
inline constexpr double kDefaultMotionCancelFilter = 60.0;
// Smallest smoothing divisor taken from the host: 1.0 publishes the raw pose;
// below it the average overshoots every step (and diverges below 0.5), and 0
// divides by zero.
inline constexpr double kMinMotionCancelFilter = 1.0;

struct MotionCancel {
  double rawPose[kRigAxisCount] = {};      // engine thread
  double currentPose[kRigAxisCount] = {};  // engine thread
  double rigPose[kRigAxisCount] = {};      // engine thread: the published values
  std::atomic<double> filter{kDefaultMotionCancelFilter};
  std::atomic<double> gain{1.0};
  std::string mappingName = kPoseSectionName;
  int32_t mappingSize = kPoseSectionSize;

  // The section and its view. Host threads open and release them under the
  // lock; the engine thread writes only when it gets the lock at once, so it
  // never waits and never writes to a view being unmapped.
  std::mutex sectionLock;
  platform::SharedMemory section;
  platform::SharedView view;
};

}  // namespace portrelay
