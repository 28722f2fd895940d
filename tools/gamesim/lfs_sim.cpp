// Live for Speed: the "LFST" OutSim datagram.
#include <cstring>

#include "gamesim/published_section.h"
#include "gamesim/udp_games_sim.h"

namespace gamesim::lfs {

void encode(const MotionSample& m, std::vector<uint8_t>& datagram) {
  datagram.assign(kLength, 0);
  std::memcpy(datagram.data(), "LFST", 4);
  LayoutWriter out(datagram.data(), datagram.size());
  const auto put = [&](size_t offset, double value) { out.put<float>(offset, static_cast<float>(value)); };
  out.put<uint32_t>(8, static_cast<uint32_t>(m.time * 1000.0));
  put(12, m.rollRate);
  put(16, m.pitchRate);
  put(20, m.yawRate);
  put(24, m.yaw);
  put(28, m.pitch);
  put(32, m.roll);
  put(36, m.lateralAccel);
  put(40, m.longitudinalAccel);
  put(44, m.verticalAccel);
  put(48, m.lateralSpeed);
  put(52, m.longitudinalSpeed);
  put(56, m.verticalSpeed);
}

}  // namespace gamesim::lfs

namespace gamesim {
std::unique_ptr<GameSim> makeLfsSim(uint16_t port) {
  return std::make_unique<DatagramGameSim>(
      port, [](const MotionSample& m, int32_t, std::vector<uint8_t>& datagram) { lfs::encode(m, datagram); });
}
}  // namespace gamesim
