// Live for Speed (id 13): "LFST" motion datagrams on port 4123.
#include <cstring>

#include "sources/readers/network_games.h"
#include "sources/telemetry_math.h"

namespace portrelay::readers {

namespace {
constexpr char kMagic[4] = {'L', 'F', 'S', 'T'};
}  // namespace

bool decodeLfs(ByteView datagram, SampleRecord& record) {
  if (datagram.size < kLfsShortest || std::memcmp(datagram.data, kMagic, sizeof kMagic) != 0) return false;
  using namespace channel;
  double* d = record.data;
  const auto f = [&](size_t offset) { return static_cast<double>(datagram.f32(offset)); };
  d[roll_speed] = toDegrees(f(12));
  d[pitch_speed] = toDegrees(f(16));
  d[yaw_speed] = toDegrees(f(20));
  d[yaw_position] = toDegrees(f(24));
  d[pitch_position] = toDegrees(f(28));
  d[roll_position] = toDegrees(f(32));
  d[lateral_accel] = f(36);
  d[longitu_accel] = f(40);
  d[vertica_accel] = f(44);
  return true;
}

bool LfsReader::read(SampleRecord& record) {
  timer_.markInterval();  // on every call: the time frame is the time between reads
  bool applied = false;
  for (int taken = 0; taken < kMaxDatagramsPerRead; ++taken) {
    const ByteView datagram = nextDatagram();
    if (datagram.size < kLfsShortest) break;  // nothing more, or a short one: the end
    applied = decodeLfs(datagram, record) || applied;
  }
  if (!applied) return false;
  record.timeFrame = timer_.lastIntervalMs();
  splitGravity(record, Completion::Kinematic);
  return true;
}

}  // namespace portrelay::readers
