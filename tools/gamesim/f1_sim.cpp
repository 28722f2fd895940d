// F1 23/24: the motion packet of all cars and the player's extended motion packet.
#include "gamesim/published_section.h"
#include "gamesim/udp_games_sim.h"

namespace gamesim::f1 {

namespace {
constexpr size_t kHeader = 29;
constexpr size_t kCar = 60;
constexpr size_t kCars = 22;
constexpr uint8_t kMotionPacket = 0;
constexpr uint8_t kExtendedMotionPacket = 13;
constexpr uint8_t kNoSecondPlayer = 255;

// Byte 27 is the player's car, byte 28 the second (split-screen) player's:
// none here.
void putHeader(LayoutWriter out, uint16_t format, uint8_t packetId, const MotionSample& m, uint8_t playerIndex) {
  out.put<uint16_t>(0, format);
  out.put<uint8_t>(2, static_cast<uint8_t>(format % 100));  // game year
  out.put<uint8_t>(3, 1);                                   // version
  out.put<uint8_t>(4, 0);
  out.put<uint8_t>(5, 1);  // packet version
  out.put<uint8_t>(6, packetId);
  out.put<uint64_t>(7, 0x5EA50A11u);  // session id
  out.put<float>(15, static_cast<float>(m.time));
  const auto frame = static_cast<uint32_t>(m.time * 60.0);
  out.put<uint32_t>(19, frame);
  out.put<uint32_t>(23, frame);
  out.put<uint8_t>(27, playerIndex);
  out.put<uint8_t>(28, kNoSecondPlayer);
}

void putCar(LayoutWriter out, size_t car, const MotionSample& m) {
  const size_t at = kHeader + car * kCar;
  const auto put = [&](size_t offset, double value) { out.put<float>(at + offset, static_cast<float>(value)); };
  put(0, m.speed * m.time);  // world position
  put(12, m.longitudinalSpeed);  // world velocity
  const FeltAcceleration felt = feltAcceleration(m);
  put(36, -felt.lateral / kStandardGravity);
  put(40, felt.longitudinal / kStandardGravity);
  put(44, -felt.vertical / kStandardGravity);
  put(48, m.yaw);
  put(52, m.pitch);
  put(56, m.roll);
}
}  // namespace

void encodeMotion(const MotionSample& m, uint16_t format, uint8_t playerIndex, std::vector<uint8_t>& datagram) {
  datagram.assign(kMotionLength, 0);
  LayoutWriter out(datagram.data(), datagram.size());
  putHeader(out, format, kMotionPacket, m, playerIndex);
  const size_t player = playerIndex < kCars ? playerIndex : 0;
  const LapMotion lap;
  for (size_t car = 0; car < kCars; ++car)
    putCar(out, car, car == player ? m : lap.at(m.time + 2.5 * static_cast<double>(car + 1)));
}

void encodeExtendedMotion(const MotionSample& m, uint16_t format, std::vector<uint8_t>& datagram) {
  datagram.assign(format == kFormat2023 ? kExtendedLength2023 : kExtendedLength2024, 0);
  LayoutWriter out(datagram.data(), datagram.size());
  putHeader(out, format, kExtendedMotionPacket, m, kPlayerCar);
  out.put<float>(173, static_cast<float>(-m.rollRate));
  out.put<float>(177, static_cast<float>(-m.pitchRate));
  out.put<float>(181, static_cast<float>(-m.yawRate));
}

}  // namespace gamesim::f1

namespace gamesim {

void F1Sim::write(const MotionSample& sample) {
  std::vector<uint8_t> datagram;
  const auto format = static_cast<uint16_t>(state());
  f1::encodeMotion(sample, format, f1::kPlayerCar, datagram);
  send(datagram);
  f1::encodeExtendedMotion(sample, format, datagram);
  send(datagram);
}

void F1Sim::encode(const MotionSample& sample, std::vector<uint8_t>& datagram) {
  f1::encodeMotion(sample, static_cast<uint16_t>(state()), f1::kPlayerCar, datagram);
}

}  // namespace gamesim
