// Flight and ground profiles: the attached game's ground state selects AIR or
// GROUND, and a change cross-fades the main cue slots over about 100 cycles.
#include "engine/live_value.h"
#include "engine/motion_engine.h"

namespace portrelay {

void MotionEngine::selectProfile() {
  const int32_t requested = games_.groundState();
  int32_t active = activeProfile_.load(std::memory_order_relaxed);
  if (requested != active) {
    if (transitionRunning_ == 0) {
      transitionRunning_ = 1;
      // Start from the profile in force until now; a change during a running
      // transition only turns its direction.
      airWeight_.store(active == 0 ? 1.0 : 0.0, std::memory_order_relaxed);
      groundWeight_.store(active == 0 ? 0.0 : 1.0, std::memory_order_relaxed);
    }
    active = requested;
    activeProfile_.store(active, std::memory_order_relaxed);
  }

  computeCues();

  if (transitionRunning_ == 0) return;
  const double step = 2.0 / kTransitionSteps;
  double air = airWeight_.load(std::memory_order_relaxed);
  double ground = groundWeight_.load(std::memory_order_relaxed);
  if (active == 0) {
    air += step;
    ground = 1.0 - air;
  } else if (active == 1) {
    ground += step;
    air = 1.0 - ground;
  }
  if (air > 1.0 || ground > 1.0) {
    transitionRunning_ = 0;
    if (active == 0) {
      air = 1.0;
      ground = 0.0;
      for (double& cue : groundCues_) storeLive(cue, 0.0);
    } else {
      air = 0.0;
      ground = 1.0;
      for (double& cue : (active == 1 ? airCues_ : groundCues_)) storeLive(cue, 0.0);
    }
  }
  airWeight_.store(air, std::memory_order_relaxed);
  groundWeight_.store(ground, std::memory_order_relaxed);
}

double MotionEngine::profileWeight(int32_t profile) const {
  if (profile == 0) return airWeight_.load(std::memory_order_relaxed);
  if (profile == 1) return groundWeight_.load(std::memory_order_relaxed);
  return 0.0;
}

}  // namespace portrelay
