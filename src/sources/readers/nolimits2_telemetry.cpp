// NoLimits 2's telemetry answer: decoding, and the framing of the TCP stream.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "sources/readers/nolimits2.h"
#include "sources/telemetry_math.h"

namespace portrelay::readers {

namespace {

constexpr double kDegreesPerRadian = 57.29577951308232;
constexpr double kLargestStep = 0.7853981633974483;  // 45 degrees between frames: not a rotation we follow
constexpr double kSmallestStep = 0.00001;
constexpr double kFrameSeconds = 0.01;  // the simulation's frame period, as the rates assume
constexpr double kRateFollow = 0.99;
constexpr double kRateDecay = 0.98;
constexpr double kAccelFollow = 0.1;
constexpr double kSpeedLeak = 0.999;
constexpr double kQuietAccel = 0.2;
constexpr int32_t kQuietSamples = 50;
constexpr double kRestingSpeed = 0.1;
// A step longer than this (the first answer, or the first after a pause)
// integrates nothing: the acceleration of one frame does not span a pause.
constexpr double kLongestIntegrationSeconds = 0.1;

uint32_t bigEndian32(ByteView bytes, size_t offset) {
  return static_cast<uint32_t>(bytes.u8(offset)) << 24 | static_cast<uint32_t>(bytes.u8(offset + 1)) << 16 |
         static_cast<uint32_t>(bytes.u8(offset + 2)) << 8 | bytes.u8(offset + 3);
}
uint16_t bigEndian16(const uint8_t* bytes) { return static_cast<uint16_t>(bytes[0] << 8 | bytes[1]); }
float bigEndianFloat(ByteView bytes, size_t offset) {
  const uint32_t raw = bigEndian32(bytes, offset);
  float value;
  std::memcpy(&value, &raw, sizeof value);
  return value;
}

Quaternion multiply(const Quaternion& a, const Quaternion& b) {
  return {a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z, a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y,
          a.w * b.y - a.x * b.z + a.y * b.w + a.z * b.x, a.w * b.z + a.x * b.y - a.y * b.x + a.z * b.w};
}
Quaternion conjugate(const Quaternion& q) { return {q.w, -q.x, -q.y, -q.z}; }
double norm(const Quaternion& q) { return std::sqrt(q.w * q.w + q.x * q.x + q.y * q.y + q.z * q.z); }
Quaternion normalised(const Quaternion& q) {
  const double n = norm(q);
  return {q.w / n, q.x / n, q.y / n, q.z / n};
}

// Offsets of the telemetry data (big-endian): eight integers, then floats.
constexpr size_t kState = 9, kFrame = 13, kSpeed = 41;
constexpr size_t kQuaternionX = 57, kQuaternionY = 61, kQuaternionZ = 65, kQuaternionW = 69;
constexpr size_t kAccelX = 73, kAccelY = 77, kAccelZ = 81;

// The turn since the previous answer in the car's own axes (current =
// previous x turn), so that each rate stays with its angle whichever way the
// car points: x is the pitch axis, y the yaw axis, z the roll axis, as in the
// attitude below.
void stepRates(const Quaternion& current, NoLimitsState& state, SampleRecord& record) {
  if (!state.hasPrevious) return;
  const Quaternion r = normalised(multiply(conjugate(state.previous), current));
  const double angle = 2.0 * std::acos(std::clamp(r.w, -1.0, 1.0));
  record.data[channel::fr_lft_susp_pos] = angle;
  if (std::fabs(angle) > kLargestStep || std::fabs(angle) < kSmallestStep) return;  // rates held
  const double s = std::sqrt(1.0 - r.w * r.w);
  const double divisor = s < kSmallestStep ? 1.0 : s;
  const double axis[3] = {r.x / divisor, r.y / divisor, r.z / divisor};
  const double rate = angle / kFrameSeconds;
  for (int k = 0; k < 3; ++k)
    state.rates[k] = ((rate * axis[k] - state.rates[k]) * kRateFollow + state.rates[k]) * kRateDecay;
}

void integrateSpeeds(double dt, NoLimitsState& state, SampleRecord& record) {
  using namespace channel;
  constexpr int kAccel[3] = {lateral_accel, longitu_accel, vertica_accel};
  constexpr int kSpeed[3] = {lateral_speed, longitu_speed, vertica_speed};
  for (int k = 0; k < 3; ++k) {
    double& a = state.filteredAccel[k];
    double& held = state.heldSpeed[k];
    a += (record.data[kAccel[k]] - a) * kAccelFollow;
    const double speed = a * dt + held;
    record.data[kSpeed[k]] = speed;
    held = speed * kSpeedLeak;
    state.quietSamples[k] = std::fabs(a) < kQuietAccel ? state.quietSamples[k] + 1 : 0;
    if (state.quietSamples[k] > kQuietSamples && std::fabs(held) < kRestingSpeed) {
      held = 0.0;
      record.data[kSpeed[k]] = 0.0;
    }
  }
}

}  // namespace

bool decodeNoLimitsAnswer(ByteView answer, double timeFrameMs, NoLimitsState& state, SampleRecord& record) {
  if (answer.size < kNoLimitsAnswerLength || answer.u8(0) != 'N' || answer.u8(kNoLimitsAnswerEnd) != 'L' ||
      bigEndian16(answer.data + 1) != kNoLimitsTelemetryAnswer)
    return false;
  const auto simulationState = static_cast<int32_t>(bigEndian32(answer, kState));
  const auto frame = static_cast<int32_t>(bigEndian32(answer, kFrame));
  if (simulationState == 0 || frame == state.lastFrame) return false;
  float values[11];
  for (size_t i = 0; i < 11; ++i) values[i] = bigEndianFloat(answer, kSpeed + 4 * i);
  for (float v : values)
    if (!std::isfinite(v)) return false;
  const Quaternion raw{bigEndianFloat(answer, kQuaternionW), bigEndianFloat(answer, kQuaternionX),
                       bigEndianFloat(answer, kQuaternionY), bigEndianFloat(answer, kQuaternionZ)};
  if (!(norm(raw) > 1e-6)) return false;  // no rotation at all
  state.lastFrame = frame;

  using namespace channel;
  double* d = record.data;
  d[ldg_gear] = frame;
  d[speed] = bigEndianFloat(answer, kSpeed);

  const Quaternion q = normalised(raw);
  d[roll_position] = kDegreesPerRadian * std::asin(std::clamp(2.0 * (q.w * q.z + q.y * q.x), -1.0, 1.0));
  d[pitch_position] = kDegreesPerRadian * std::atan2(2.0 * (q.x * q.w - q.y * q.z), 1.0 - 2.0 * (q.x * q.x + q.z * q.z));
  d[yaw_position] = kDegreesPerRadian * std::atan2(2.0 * (q.y * q.w - q.z * q.x), 1.0 - 2.0 * (q.y * q.y + q.z * q.z));

  stepRates(q, state, record);
  state.previous = q;
  state.hasPrevious = true;
  d[pitch_speed] = kDegreesPerRadian * state.rates[0];
  d[yaw_speed] = kDegreesPerRadian * state.rates[1];
  d[roll_speed] = kDegreesPerRadian * state.rates[2];

  d[lateral_accel_g] = -bigEndianFloat(answer, kAccelX) * kGravity;
  d[longitu_accel_g] = bigEndianFloat(answer, kAccelZ) * kGravity;
  d[vertica_accel_g] = bigEndianFloat(answer, kAccelY) * kGravity;

  // Gravity in the car's own axes (y up, z forward, x across, as the felt
  // acceleration above): the world's up axis (y) turned into the car's frame
  // by the inverse rotation. A turn about the up axis (the heading) leaves it
  // alone, so a level car feels 1 g straight up whichever way it points. Each
  // component takes the sign its acceleration channel takes.
  const Quaternion up = multiply(multiply(conjugate(q), {0.0, 0.0, kGravity, 0.0}), q);
  d[lateral_gravi] = -up.x;
  d[longitu_gravi] = up.z;
  d[vertica_gravi] = up.y;
  d[lateral_accel] = d[lateral_accel_g] - d[lateral_gravi];
  d[longitu_accel] = d[longitu_accel_g] - d[longitu_gravi];
  d[vertica_accel] = d[vertica_accel_g] - d[vertica_gravi];

  double dt = timeFrameMs / 1000.0;
  if (!(dt > 0.0 && dt <= kLongestIntegrationSeconds)) dt = 0.0;
  integrateSpeeds(dt, state, record);
  return true;
}

bool NoLimitsStream::takeNewestAnswer(std::array<uint8_t, kNoLimitsAnswerLength>& answer) {
  constexpr size_t kFrameOverhead = 10;  // 'N', type, request id, data size, 'L'
  bool found = false;
  size_t at = 0;  // start of what is still to be read; moved to the front once at the end
  for (;;) {
    const auto* start = static_cast<const uint8_t*>(std::memchr(bytes_.data() + at, 'N', size_ - at));
    at = start == nullptr ? size_ : static_cast<size_t>(start - bytes_.data());
    const uint8_t* message = bytes_.data() + at;
    const size_t waiting = size_ - at;
    if (waiting < kFrameOverhead) break;  // wait for the rest
    const size_t total = kFrameOverhead + bigEndian16(message + 7);
    if (total > kCapacity) {  // no message of ours is that long: not a start after all
      ++at;
      continue;
    }
    if (waiting < total) break;
    if (message[total - 1] != 'L') {
      ++at;
      continue;
    }
    if (total == kNoLimitsAnswerLength && bigEndian16(message + 1) == kNoLimitsTelemetryAnswer) {
      std::memcpy(answer.data(), message, kNoLimitsAnswerLength);
      found = true;
    }
    at += total;
  }
  std::memmove(bytes_.data(), bytes_.data() + at, size_ - at);
  size_ -= at;
  return found;
}

}  // namespace portrelay::readers
