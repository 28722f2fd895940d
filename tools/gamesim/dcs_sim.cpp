// DCS: the export script's text line.
#include <cstdio>

#include "gamesim/udp_games_sim.h"

namespace gamesim::dcs {

void encode(const MotionSample& m, std::vector<uint8_t>& datagram) {
  const FeltAcceleration felt = feltAcceleration(m);
  const double strut = 0.2 + 0.01 * m.verticalAccel;
  const double values[25] = {felt.longitudinal / kStandardGravity,
                             felt.lateral / kStandardGravity,
                             felt.vertical / kStandardGravity,
                             m.lateralSpeed,
                             m.longitudinalSpeed,
                             m.verticalSpeed,
                             m.yawRate,
                             m.rollRate,
                             m.pitchRate,
                             m.yaw,
                             m.roll,
                             m.pitch,
                             m.speed,  // true airspeed, unused
                             strut,
                             strut,
                             strut,
                             0, 0, 0, 0, 0, 0, 0, 0,
                             m.time};
  datagram.clear();
  char token[64];
  for (size_t i = 0; i < 25; ++i) {
    const int n = std::snprintf(token, sizeof token, i == 0 ? "%.9f" : " %.9f", values[i]);
    datagram.insert(datagram.end(), token, token + n);
  }
  datagram.push_back('\n');
}

}  // namespace gamesim::dcs

namespace gamesim {
std::unique_ptr<GameSim> makeDcsSim(uint16_t port) {
  return std::make_unique<DatagramGameSim>(
      port, [](const MotionSample& m, int32_t, std::vector<uint8_t>& datagram) { dcs::encode(m, datagram); });
}
}  // namespace gamesim
