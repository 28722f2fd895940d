// BeamNG: the "BNG1" motion-simulator datagram.
#include <cstring>

#include "gamesim/published_section.h"
#include "gamesim/udp_games_sim.h"

namespace gamesim::beamng {

void encode(const MotionSample& m, std::vector<uint8_t>& datagram) {
  datagram.assign(kLength, 0);
  std::memcpy(datagram.data(), "BNG1", 4);
  LayoutWriter out(datagram.data(), datagram.size());
  const auto put = [&](size_t offset, double value) { out.put<float>(offset, static_cast<float>(value)); };
  put(4, m.speed * m.time);  // world position
  put(16, -m.lateralSpeed);
  put(20, -m.longitudinalSpeed);
  put(24, -m.verticalSpeed);
  put(28, -m.lateralAccel);
  put(32, -m.longitudinalAccel);
  put(36, -m.verticalAccel);
  put(48, 1.0);  // up vector
  put(52, m.roll);
  put(56, m.pitch);
  put(60, -m.yaw);
  put(64, m.rollRate);
  put(68, m.pitchRate);
  put(72, -m.yawRate);
  put(76, m.rollAccel);
  put(80, m.pitchAccel);
  put(84, -m.yawAccel);
}

}  // namespace gamesim::beamng

namespace gamesim {
std::unique_ptr<GameSim> makeBeamNgSim(uint16_t port) {
  return std::make_unique<DatagramGameSim>(
      port, [](const MotionSample& m, int32_t, std::vector<uint8_t>& datagram) { beamng::encode(m, datagram); });
}
}  // namespace gamesim
