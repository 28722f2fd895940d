// WRC (id 11): motion datagrams on port 20788, the attitude given as three
// direction vectors, worked out in single precision as the game's own tools do.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "sources/readers/network_games.h"
#include "sources/telemetry_math.h"

namespace portrelay::readers {

namespace {

constexpr double kLongestStepSeconds = 0.03;  // beyond it a step counts as...
constexpr double kUsualStepSeconds = 0.02;    // ...the game's usual one
constexpr double kShortStepShare = 0.4;       // a step shorter than this share of the usual...
constexpr double kStepSmoothing = 0.05;       // ...one, smoothed over about 20 samples

struct Vector {
  float x, y, z;
  float length() const { return std::sqrt(x * x + y * y + z * z); }
};

Vector vectorAt(ByteView datagram, size_t offset) {
  return {datagram.f32(offset), datagram.f32(offset + 4), datagram.f32(offset + 8)};
}

bool usable(float length) { return std::isfinite(length) && length > 0.0f; }

// The change of an angle in degrees, the short way round.
double wrappedDifference(double now, double before) {
  double d = now - before;
  if (d > 180.0) d -= 360.0;
  if (d < -180.0) d += 360.0;
  return d;
}

}  // namespace

bool decodeWrc(ByteView datagram, double timeFrameMs, WrcState& state, SampleRecord& record) {
  if (datagram.size < kWrcShortest) return false;
  const Vector a = vectorAt(datagram, 85), b = vectorAt(datagram, 97), c = vectorAt(datagram, 109);
  const float la = a.length(), lb = b.length(), lc = c.length();
  if (!usable(la) || !usable(lb) || !usable(lc)) return false;

  const float pitch = std::asin(std::clamp(-c.x / lc, -1.0f, 1.0f));
  const bool level = std::cos(pitch) != 0.0f;
  const float roll = level ? std::atan2(c.y / lc, c.z / lc) : std::atan2(a.z / la, a.y / la);
  const float yaw = level ? std::atan2(a.x / la, b.x / lb) : 0.0f;

  using namespace channel;
  double* d = record.data;
  d[lateral_speed] = datagram.f32(61);
  d[longitu_speed] = datagram.f32(65);
  d[vertica_speed] = datagram.f32(69);
  d[longitu_accel] = datagram.f32(73);
  d[lateral_accel] = datagram.f32(77);
  d[vertica_accel] = datagram.f32(81);
  d[pitch_position] = static_cast<float>(toDegrees(pitch));
  d[roll_position] = static_cast<float>(toDegrees(roll) - 90.0);
  d[yaw_position] = static_cast<float>(-toDegrees(yaw));

  double dt = timeFrameMs / 1000.0;
  if (dt > kLongestStepSeconds) dt = kUsualStepSeconds;
  const bool rates = state.hasPrevious && dt > 0.0;  // no step, no rate
  const double averageStep = state.averageStep;
  if (dt > 0.0) state.averageStep = averageStep == 0.0 ? dt : averageStep + kStepSmoothing * (dt - averageStep);
  if (averageStep > 0.0 && dt < kShortStepShare * averageStep) dt = averageStep;
  d[yaw_speed] = rates ? wrappedDifference(d[yaw_position], state.yaw) / dt : 0.0;
  d[roll_speed] = rates ? wrappedDifference(d[roll_position], state.roll) / dt : 0.0;
  d[pitch_speed] = rates ? wrappedDifference(d[pitch_position], state.pitch) / dt : 0.0;
  state = {true, d[yaw_position], d[roll_position], d[pitch_position], state.averageStep};
  return true;
}

bool WrcReader::attach() {
  state_.hasPrevious = false;
  return UdpGameReader::attach();
}

bool WrcReader::read(SampleRecord& record) {
  // Only the newest counts: the rates are the change since the previous call.
  const bool waiting = takeWaiting([&](ByteView datagram) {
    if (datagram.size < kWrcShortest) return false;
    std::memcpy(newest_.data(), datagram.data, kWrcShortest);
    return true;
  });
  if (!waiting) return false;
  timer_.markInterval();
  const double timeFrameMs = timer_.lastIntervalMs();
  if (!decodeWrc({newest_.data(), newest_.size()}, timeFrameMs, state_, record)) return false;
  record.timeFrame = timeFrameMs;
  splitGravity(record, Completion::Kinematic, kFullPi);
  return true;
}

}  // namespace portrelay::readers
