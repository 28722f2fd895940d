// DiRT Rally 2: the 96-byte motion datagram.
#include "gamesim/published_section.h"
#include "gamesim/udp_games_sim.h"

namespace gamesim::dirt {

void encode(const MotionSample& m, std::vector<uint8_t>& datagram) {
  datagram.assign(kLength, 0);
  LayoutWriter out(datagram.data(), datagram.size());
  const auto put = [&](size_t offset, double value) { out.put<float>(offset, static_cast<float>(value)); };
  put(0, m.time);
  put(4, m.time);
  put(8, m.speed * m.time);  // distance
  put(12, m.speed);
  put(24, -m.lateralAccel / kStandardGravity);
  put(28, m.longitudinalAccel / kStandardGravity);
  put(32, m.verticalAccel / kStandardGravity);
  put(48, m.pitch);
  put(52, m.pitchRate);
  put(56, m.pitchAccel);
  put(60, m.roll);
  put(64, m.rollRate);
  put(68, m.rollAccel);
  put(84, m.yaw + kPi / 2);  // the game's heading is a quarter turn from ours
  put(88, m.yawRate);
  put(92, m.yawAccel);
}

}  // namespace gamesim::dirt

namespace gamesim {
std::unique_ptr<GameSim> makeDirtRally2Sim(uint16_t port) {
  return std::make_unique<DatagramGameSim>(
      port, [](const MotionSample& m, int32_t, std::vector<uint8_t>& datagram) { dirt::encode(m, datagram); });
}
}  // namespace gamesim
