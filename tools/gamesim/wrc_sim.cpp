// WRC: the motion datagram with the attitude as three direction vectors.
#include <cmath>

#include "gamesim/published_section.h"
#include "gamesim/udp_games_sim.h"

namespace gamesim::wrc {

void encode(const MotionSample& m, std::vector<uint8_t>& datagram) {
  datagram.assign(kLength, 0);
  LayoutWriter out(datagram.data(), datagram.size());
  const auto put = [&](size_t offset, double value) { out.put<float>(offset, static_cast<float>(value)); };
  out.put<uint64_t>(0, static_cast<uint64_t>(m.time * 1000.0));  // packet id
  put(8, m.time);
  put(61, m.lateralSpeed);
  put(65, m.longitudinalSpeed);
  put(69, m.verticalSpeed);
  put(73, m.longitudinalAccel);
  put(77, m.lateralAccel);
  put(81, m.verticalAccel);
  // Directions whose reading (pitch from C.x, roll from C.y against C.z, yaw
  // from A.x against B.x) gives the lap's attitude; their lengths differ, as
  // the reading divides by each.
  const double a = 1.5, b = 0.5;
  put(85, -std::sin(m.yaw) * a);
  put(93, std::cos(m.yaw) * a);
  put(97, std::cos(m.yaw) * b);
  put(105, std::sin(m.yaw) * b);
  put(109, -std::sin(m.pitch));
  put(113, std::cos(m.pitch) * std::cos(m.roll));
  put(117, -std::cos(m.pitch) * std::sin(m.roll));
}

}  // namespace gamesim::wrc

namespace gamesim {
std::unique_ptr<GameSim> makeWrcSim(uint16_t port) {
  return std::make_unique<DatagramGameSim>(
      port, [](const MotionSample& m, int32_t, std::vector<uint8_t>& datagram) { wrc::encode(m, datagram); });
}
}  // namespace gamesim
