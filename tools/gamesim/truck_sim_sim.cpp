#include "gamesim/truck_sim_sim.h"

#include <cmath>

namespace gamesim::scs {

namespace {
float turns(double radians) { return static_cast<float>(radians / (2 * kPi)); }
}  // namespace

void writeSample(LayoutWriter memory, const MotionSample& m, bool running) {
  double heading = m.yaw / (2 * kPi);
  heading -= std::floor(heading);
  memory.put<float>(25, static_cast<float>(heading));
  memory.put<float>(29, turns(m.pitch));
  memory.put<float>(33, turns(-m.roll));
  memory.put<float>(41, static_cast<float>(m.speed));
  memory.put<float>(45, static_cast<float>(m.rpm));
  memory.put<float>(69, static_cast<float>(m.lateralSpeed));
  memory.put<float>(73, static_cast<float>(m.verticalSpeed));
  memory.put<float>(77, static_cast<float>(-m.longitudinalSpeed));
  memory.put<float>(81, turns(m.pitchRate));
  memory.put<float>(85, turns(m.yawRate));
  memory.put<float>(89, turns(-m.rollRate));
  memory.put<float>(93, static_cast<float>(m.lateralAccel));
  memory.put<float>(97, static_cast<float>(m.verticalAccel));
  memory.put<float>(101, static_cast<float>(-m.longitudinalAccel));
  memory.put<float>(105, turns(m.pitchAccel));
  memory.put<float>(109, turns(m.yawAccel));
  memory.put<float>(113, turns(-m.rollAccel));
  memory.put<uint8_t>(0, running ? 1 : 0);
}

}  // namespace gamesim::scs
