// Output rate limit and park through the C ABI. Catches every exception:
// nothing may unwind into the host.
#include "engine/motion_engine.h"
#include "portrelay/portrelay.h"

using portrelay::MotionEngine;

extern "C" {

int32_t setOutputRateLimit(int32_t channel, double unitsPerSecond) {
  try {
    return MotionEngine::instance().setOutputRateLimit(channel, unitsPerSecond) ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

int32_t parkRig(int32_t durationMs) {
  try {
    MotionEngine::instance().requestPark(durationMs);
    return 1;
  } catch (...) {
    return 0;
  }
}

int32_t getParkStatus(void) {
  try {
    return static_cast<int32_t>(MotionEngine::instance().parkStatus());
  } catch (...) {
    return 0;
  }
}

}  // extern "C"
