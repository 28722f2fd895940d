// BeamNG (id 12): "BNG1" motion datagrams on port 4444.
//
// The game counts as a kinematic one: its accelerations are taken as the
// vehicle's own, without gravity, and go (negated) to the *_accel channels;
// the kinematic completion then adds the gravity components for *_accel_g.
// Storing them as *_accel_g instead would have that completion overwrite them
// from *_accel, which nothing else writes.
#include <cstring>

#include "sources/readers/network_games.h"
#include "sources/telemetry_math.h"

namespace portrelay::readers {

namespace {
constexpr char kMagic[4] = {'B', 'N', 'G', '1'};
}  // namespace

bool decodeBeamNg(ByteView datagram, SampleRecord& record) {
  if (datagram.size < kBeamNgShortest || std::memcmp(datagram.data, kMagic, sizeof kMagic) != 0) return false;
  using namespace channel;
  double* d = record.data;
  const auto f = [&](size_t offset) { return static_cast<double>(datagram.f32(offset)); };
  d[lateral_speed] = -f(16);
  d[longitu_speed] = -f(20);
  d[vertica_speed] = -f(24);
  d[lateral_accel] = -f(28);
  d[longitu_accel] = -f(32);
  d[vertica_accel] = -f(36);
  d[roll_position] = toDegrees(f(52));
  d[pitch_position] = toDegrees(f(56));
  d[yaw_position] = -toDegrees(f(60));
  d[roll_speed] = toDegrees(f(64));
  d[pitch_speed] = toDegrees(f(68));
  d[yaw_speed] = -toDegrees(f(72));
  d[roll_accel] = toDegrees(f(76));
  d[pitch_accel] = toDegrees(f(80));
  d[yaw_accel] = -toDegrees(f(84));
  return true;
}

bool BeamNgReader::read(SampleRecord& record) {
  timer_.markInterval();  // on every call: the time frame is the time between reads
  bool applied = false;
  for (int taken = 0; taken < kMaxDatagramsPerRead; ++taken) {
    const ByteView datagram = nextDatagram();
    // A foreign datagram ends the call: nothing after it is applied now.
    if (datagram.size == 0 || !decodeBeamNg(datagram, record)) break;
    applied = true;
  }
  if (!applied) return false;
  record.timeFrame = timer_.lastIntervalMs();
  splitGravity(record, Completion::Kinematic);
  return true;
}

}  // namespace portrelay::readers
