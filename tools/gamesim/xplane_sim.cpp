// X-Plane: the "Data Output" datagram with four records.
#include <cmath>
#include <cstring>

#include "gamesim/published_section.h"
#include "gamesim/udp_games_sim.h"

namespace gamesim::xplane {

namespace {
constexpr size_t kHeader = 5;
constexpr size_t kRecord = 36;

double degrees(double radians) { return radians * 180.0 / kPi; }

void putRecord(LayoutWriter out, size_t slot, int32_t index, const double (&r)[8]) {
  const size_t at = kHeader + slot * kRecord;
  out.put<int32_t>(at, index);
  for (size_t i = 0; i < 8; ++i) out.put<float>(at + 4 + 4 * i, static_cast<float>(r[i]));
}
}  // namespace

void encode(const MotionSample& m, bool onGround, std::vector<uint8_t>& datagram) {
  datagram.assign(kHeader + 4 * kRecord, 0);
  std::memcpy(datagram.data(), "DATA*", kHeader);
  LayoutWriter out(datagram.data(), datagram.size());
  putRecord(out, 0, 3, {m.speed, m.speed, m.speed, 0, m.speed, m.speed, m.speed, m.speed});
  putRecord(out, 1, 17, {degrees(m.pitch), degrees(m.roll), -degrees(m.yaw), degrees(m.yaw), 0, 0, 0, 0});
  // Strut compression (positive while the wheels carry the aircraft).
  const double strut = onGround ? 0.12 + 0.01 * std::sin(m.verticalAccel) : 0.0;
  putRecord(out, 2, 66, {strut, strut * 0.9, strut * 0.95, 0, 0, 0, 0, 0});
  const FeltAcceleration felt = feltAcceleration(m);
  putRecord(out, 3, 135,
            {felt.lateral, felt.vertical * 10.0, -felt.longitudinal, degrees(m.rollRate), degrees(m.pitchRate),
             -degrees(m.yawRate), 0, 0});
}

}  // namespace gamesim::xplane

namespace gamesim {
std::unique_ptr<GameSim> makeXPlaneSim(uint16_t port) {
  return std::make_unique<DatagramGameSim>(
      port, [](const MotionSample& m, int32_t state, std::vector<uint8_t>& datagram) {
        xplane::encode(m, state != xplane::kAirborne, datagram);
      },
      xplane::kOnGround);
}
}  // namespace gamesim
