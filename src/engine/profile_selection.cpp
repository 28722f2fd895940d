// Flight and ground profiles: the attached game's ground state selects AIR or
// GROUND, and a change cross-fades the main cue slots over about 100 cycles.
#include "engine/live_value.h"
#include "engine/motion_engine.h"

namespace portrelay {

void MotionEngine::selectProfile() {
  const int32_t requested = games.groundState();
  int32_t active = activeProfile.load(std::memory_order_relaxed);
  if (requested != active) {
    if (transitionRunning == 0) {
      transitionRunning = 1;
      // Start from the profile in force until now; a change during a running
      // transition only turns its direction.
      airWeight.store(active == 0 ? 1.0 : 0.0, std::memory_order_relaxed);
      groundWeight.store(active == 0 ? 0.0 : 1.0, std::memory_order_relaxed);
    }
    active = requested;
    activeProfile.store(active, std::memory_order_relaxed);
  }

  computeCues();

  if (transitionRunning == 0) return;
  const double step = 2.0 / transitionSteps;
  double air = airWeight.load(std::memory_order_relaxed);
  double ground = groundWeight.load(std::memory_order_relaxed);
  if (active == 0) {
    air += step;
    ground = 1.0 - air;
  } else if (active == 1) {
    ground += step;
    air = 1.0 - ground;
  }
  if (air > 1.0 || ground > 1.0) {
    transitionRunning = 0;
    if (active == 0) {
      air = 1.0;
      ground = 0.0;
      for (double& cue : groundCues) storeLive(cue, 0.0);
    } else {
      air = 0.0;
      ground = 1.0;
      for (double& cue : (active == 1 ? airCues : groundCues)) storeLive(cue, 0.0);
    }
  }
  airWeight.store(air, std::memory_order_relaxed);
  groundWeight.store(ground, std::memory_order_relaxed);
}

}  // namespace portrelay
