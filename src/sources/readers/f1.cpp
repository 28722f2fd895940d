// F1 23/24 (id 7): the game's motion and extended motion packets on port 20777.
#include "sources/readers/network_games.h"
#include "sources/telemetry_math.h"

namespace portrelay::readers {

namespace {

constexpr uint16_t kFormat2023 = 2023;
constexpr uint16_t kFormat2024 = 2024;

void applyMotion(ByteView packet, SampleRecord& record, size_t car) {
  using namespace channel;
  double* d = record.data;
  const size_t at = kF1HeaderLength + car * kF1CarLength;
  const auto f = [&](size_t offset) { return static_cast<double>(packet.f32(at + offset)); };
  d[lateral_accel_g] = -f(36) * kGravity;
  d[longitu_accel_g] = f(40) * kGravity;
  d[vertica_accel_g] = -f(44) * kGravity;
  d[yaw_position] = toDegrees(f(48));
  d[pitch_position] = toDegrees(f(52));
  d[roll_position] = toDegrees(f(56));
}

// The car's angular velocity in its own axes: x to the right at 173, y up at
// 177, z forward at 181. The game's frame is left-handed, and its yaw, pitch
// and roll (above) turn about y, x and z in that frame's own sense, so on a
// level car each rate is the rate of change of its own angle, sign included.
void applyExtendedMotion(ByteView packet, SampleRecord& record) {
  using namespace channel;
  double* d = record.data;
  d[pitch_speed] = toDegrees(packet.f32(173));
  d[yaw_speed] = toDegrees(packet.f32(177));
  d[roll_speed] = toDegrees(packet.f32(181));
}

}  // namespace

bool decodeF1(ByteView datagram, SampleRecord& record) {
  if (datagram.size <= 1) return false;
  const uint16_t format = datagram.load<uint16_t>(0);
  if (format != kFormat2023 && format != kFormat2024) return false;
  switch (datagram.size) {
    case kF1MotionLength: {
      const uint8_t index = datagram.u8(kF1PlayerIndexOffset);
      applyMotion(datagram, record, index < kF1CarCount ? index : 0);
      return true;
    }
    case kF1ExtendedLength23:
    case kF1ExtendedLength24:
      applyExtendedMotion(datagram, record);
      return true;
    default:
      return false;
  }
}

bool F1Reader::read(SampleRecord& record) {
  timer_.markInterval();  // on every call: the time frame is the time between reads
  bool applied = false;
  ByteView datagram = nextDatagram();
  for (int taken = 0; datagram.size > 1; datagram = nextDatagram()) {
    applied = decodeF1(datagram, record) || applied;
    if (++taken == kMaxDatagramsPerRead) break;
  }
  if (!applied) return false;
  record.timeFrame = timer_.lastIntervalMs();
  splitGravity(record, Completion::Proper);
  return true;
}

}  // namespace portrelay::readers
