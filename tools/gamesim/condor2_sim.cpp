// Condor 2: the UDP output's "key=value" lines.
#include <cstdio>
#include <string>

#include "gamesim/udp_games_sim.h"

namespace gamesim::condor {

void encode(const MotionSample& m, std::vector<uint8_t>& datagram) {
  std::string text;
  char line[128];
  const auto add = [&](const char* key, double value) {
    std::snprintf(line, sizeof line, "%s=%.9g\r\n", key, value);
    text += line;
  };
  add("time", m.time / 3600.0 + 12.0);  // hours of the day
  add("airspeed", m.speed);             // not a key the reader keeps
  add("altitude", 850.0 + 3.0 * m.verticalSpeed);
  add("vario", m.verticalSpeed);
  add("evario", m.verticalSpeed);
  add("nettovario", 0.4);
  add("integrator", 0.2);
  add("compass", m.yaw + kPi);
  add("slipball", 0.01);
  add("turnrate", m.yawRate);
  add("yawstringangle", 0.02);
  add("radiofrequency", 123.5);
  add("yaw", m.yaw + kPi);  // the game's heading runs from 0 to 2 pi
  add("pitch", m.pitch);
  add("bank", -m.roll);
  add("quaternionx", 0.0);
  add("quaterniony", 0.0);
  add("quaternionz", 0.0);
  add("ax", m.lateralAccel);
  add("ay", m.longitudinalAccel);
  add("az", m.verticalAccel);
  add("vx", m.lateralSpeed);
  add("vy", m.longitudinalSpeed);
  add("vz", m.verticalSpeed);
  add("rollrate", m.rollRate);
  add("pitchrate", m.pitchRate);
  add("yawrate", m.yawRate);
  add("gforce", 1.0 + m.verticalAccel / kStandardGravity);
  add("height", 420.0);
  add("wheelheight", 419.2);
  add("turbulencestrength", 0.1);
  add("surfaceroughness", 0.0);
  add("mc", 1.5);
  add("water", 0.0);
  std::snprintf(line, sizeof line, "flaps=%d\r\nhudmessages=\r\n", static_cast<int>(kFlaps));
  text += line;
  datagram.assign(text.begin(), text.end());
}

}  // namespace gamesim::condor

namespace gamesim {
std::unique_ptr<GameSim> makeCondor2Sim(uint16_t port) {
  return std::make_unique<DatagramGameSim>(
      port, [](const MotionSample& m, int32_t, std::vector<uint8_t>& datagram) { condor::encode(m, datagram); });
}
}  // namespace gamesim
