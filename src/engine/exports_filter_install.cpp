// Installing filter strings through the C ABI. Catches every exception:
// nothing may unwind into the host.
#include "engine/motion_engine.h"
#include "portrelay/portrelay.h"

extern "C" {

bool setcheckFilterstring(int32_t profile, int32_t slot, const char* filter) {
  try {
    return portrelay::MotionEngine::instance().installFilterString(profile, slot, filter);
  } catch (...) {
    return false;
  }
}

}  // extern "C"
