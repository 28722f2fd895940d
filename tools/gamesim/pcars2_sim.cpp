#include "gamesim/pcars2_sim.h"

namespace gamesim::pcars2 {

void writeSample(LayoutWriter memory, const MotionSample& m, int32_t gameState) {
  memory.put<int32_t>(8, gameState);
  memory.put<float>(6908, static_cast<float>(-m.yaw));  // orientation
  memory.put<float>(6912, static_cast<float>(m.roll));
  memory.put<float>(6916, static_cast<float>(m.pitch));
  memory.put<float>(6920, static_cast<float>(m.lateralSpeed));  // local velocity
  memory.put<float>(6924, static_cast<float>(m.longitudinalSpeed));
  memory.put<float>(6928, static_cast<float>(m.verticalSpeed));
  memory.put<float>(6944, static_cast<float>(-m.yawRate));  // angular velocity
  memory.put<float>(6948, static_cast<float>(m.rollRate));
  memory.put<float>(6952, static_cast<float>(m.pitchRate));
  memory.put<float>(6956, static_cast<float>(m.lateralAccel));  // local acceleration
  memory.put<float>(6960, static_cast<float>(m.longitudinalAccel));
  memory.put<float>(6964, static_cast<float>(m.verticalAccel));
}

}  // namespace gamesim::pcars2
