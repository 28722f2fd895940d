// DiRT Rally 2 (id 5): 96-byte motion datagrams on port 20778.
#include "sources/readers/network_games.h"
#include "sources/telemetry_math.h"

namespace portrelay::readers {

bool decodeDirtRally2(ByteView datagram, SampleRecord& record) {
  // Any other length carries no defined values; nothing of it is used.
  if (datagram.size != kDirtRally2Length) return false;
  using namespace channel;
  double* d = record.data;
  const auto f = [&](size_t offset) { return static_cast<double>(datagram.f32(offset)); };
  d[lateral_accel] = -f(24) * kGravity;
  d[longitu_accel] = f(28) * kGravity;
  d[vertica_accel] = f(32) * kGravity;
  d[lateral_speed] = 0.0;
  d[longitu_speed] = 0.0;
  d[vertica_speed] = 0.0;
  d[pitch_position] = toDegrees(f(48));
  d[pitch_speed] = toDegrees(f(52));
  d[pitch_accel] = toDegrees(f(56));
  d[roll_position] = toDegrees(f(60));
  d[roll_speed] = toDegrees(f(64));
  d[roll_accel] = toDegrees(f(68));
  d[yaw_position] = toDegrees(f(84)) - 90.0;
  d[yaw_speed] = toDegrees(f(88));
  d[yaw_accel] = toDegrees(f(92));
  // The game sends no clock of its own.
  record.gameDelta = (0.0 - record.gameTime) * 1000.0;
  record.gameTime = 0.0;
  return true;
}

void splitDirtRally2Gravity(SampleRecord& record) {
  using namespace channel;
  splitGravity(record, Completion::Kinematic);
  double* d = record.data;
  d[longitu_gravi] = -d[longitu_gravi];
  d[longitu_accel_g] = d[longitu_gravi] + d[longitu_accel];
}

bool DirtRally2Reader::read(SampleRecord& record) {
  if (!takeWaiting([&](ByteView datagram) { return decodeDirtRally2(datagram, record); })) return false;
  markSample(record);
  splitDirtRally2Gravity(record);
  return true;
}

}  // namespace portrelay::readers
