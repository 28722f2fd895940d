#include "gamesim/raceroom_sim.h"

namespace gamesim {

namespace r3e {

void writeState(LayoutWriter memory, int32_t state) {
  memory.put<int32_t>(16, state == kPaused ? 1 : 0);
  memory.put<int32_t>(20, state == kInMenus ? 1 : 0);
  memory.put<int32_t>(24, state == kInReplay ? 1 : 0);
}

void writeSample(LayoutWriter memory, const MotionSample& m) {
  memory.put<double>(96, -m.lateralSpeed);  // local velocity x y z
  memory.put<double>(104, m.verticalSpeed);
  memory.put<double>(112, -m.longitudinalSpeed);
  memory.put<double>(144, -m.lateralAccel);  // local acceleration x y z
  memory.put<double>(152, m.verticalAccel);
  memory.put<double>(160, -m.longitudinalAccel);
  memory.put<double>(168, m.pitch);  // orientation pitch yaw roll
  memory.put<double>(176, -m.yaw);
  memory.put<double>(184, m.roll);
  memory.put<double>(216, m.pitchAccel);  // angular acceleration x y z
  memory.put<double>(224, -m.yawAccel);
  memory.put<double>(232, m.rollAccel);
  memory.put<double>(240, m.pitchRate);  // angular velocity x y z
  memory.put<double>(248, -m.yawRate);
  memory.put<double>(256, m.rollRate);
}

}  // namespace r3e

void RaceRoomSim::write(const MotionSample& sample) {
  if (!memory_.published()) return;
  r3e::writeState(memory_.writer(), state());
  r3e::writeSample(memory_.writer(), sample);
}

}  // namespace gamesim
