// F1 23/24: the motion packet of all cars and the player's extended motion packet.
#include <array>
#include <cmath>

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

// The game's frame: x to the right, y up, z forward (a left-handed frame).
// The car's attitude is its yaw about y, pitch about x and roll about z,
// turned in the frame's own sense (yaw carries z toward x: a right turn;
// pitch carries z toward -y: nose down; roll carries x toward y: right side
// up), roll first, then pitch, then yaw: car axes to world axes are
// Ry(yaw) Rx(pitch) Rz(roll), and its columns are the car's right, up and
// forward axes in the world.
using Vector = std::array<double, 3>;
using Matrix = std::array<Vector, 3>;  // rows

Matrix product(const Matrix& a, const Matrix& b) {
  Matrix c{};
  for (size_t i = 0; i < 3; ++i)
    for (size_t j = 0; j < 3; ++j)
      for (size_t k = 0; k < 3; ++k) c[i][j] += a[i][k] * b[k][j];
  return c;
}
Vector column(const Matrix& m, size_t j) { return {m[0][j], m[1][j], m[2][j]}; }
double dot(const Vector& a, const Vector& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

Matrix aboutY(double a) { return {{{std::cos(a), 0, std::sin(a)}, {0, 1, 0}, {-std::sin(a), 0, std::cos(a)}}}; }
Matrix aboutX(double a) { return {{{1, 0, 0}, {0, std::cos(a), -std::sin(a)}, {0, std::sin(a), std::cos(a)}}}; }
Matrix aboutZ(double a) { return {{{std::cos(a), -std::sin(a), 0}, {std::sin(a), std::cos(a), 0}, {0, 0, 1}}}; }

Matrix attitudeOf(const MotionSample& m) { return product(product(aboutY(m.yaw), aboutX(m.pitch)), aboutZ(m.roll)); }

// The car's angular velocity in its own axes (rad/s): each angle's rate turns
// the car about that angle's axis as it stands in the world (yaw about the
// world's y, pitch about the yawed x, roll about the car's own z); their sum,
// expressed along the car's right, up and forward axes.
Vector localAngularVelocity(const MotionSample& m) {
  const Matrix yawed = aboutY(m.yaw);
  const Matrix pitched = product(yawed, aboutX(m.pitch));
  const Vector yawAxis = {0, 1, 0}, pitchAxis = column(yawed, 0), rollAxis = column(pitched, 2);
  Vector world{};
  for (size_t i = 0; i < 3; ++i) world[i] = m.yawRate * yawAxis[i] + m.pitchRate * pitchAxis[i] + m.rollRate * rollAxis[i];
  const Matrix car = attitudeOf(m);
  return {dot(column(car, 0), world), dot(column(car, 1), world), dot(column(car, 2), world)};
}

// A unit vector as the motion packet carries it: 16-bit, scaled by 32767.
int16_t normalisedComponent(double value) { return static_cast<int16_t>(std::lround(value * 32767.0)); }

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
  const Matrix attitude = attitudeOf(m);
  const Vector forward = column(attitude, 2), right = column(attitude, 0);
  for (size_t i = 0; i < 3; ++i) {
    out.put<int16_t>(at + 24 + 2 * i, normalisedComponent(forward[i]));
    out.put<int16_t>(at + 30 + 2 * i, normalisedComponent(right[i]));
  }
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
  const Vector rates = localAngularVelocity(m);
  for (size_t i = 0; i < 3; ++i) out.put<float>(173 + 4 * i, static_cast<float>(rates[i]));  // x, y, z
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
