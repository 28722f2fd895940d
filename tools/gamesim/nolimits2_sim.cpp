#include "gamesim/nolimits2_sim.h"

#include <array>
#include <cmath>
#include <cstring>

namespace gamesim {

namespace platform = portrelay::platform;

namespace nl2 {

std::vector<uint8_t> encode(const Message& message) {
  std::vector<uint8_t> bytes;
  const auto size = static_cast<uint16_t>(message.data.size());
  bytes.push_back('N');
  bytes.push_back(static_cast<uint8_t>(message.type >> 8));
  bytes.push_back(static_cast<uint8_t>(message.type));
  for (int shift = 24; shift >= 0; shift -= 8) bytes.push_back(static_cast<uint8_t>(message.requestId >> shift));
  bytes.push_back(static_cast<uint8_t>(size >> 8));
  bytes.push_back(static_cast<uint8_t>(size));
  bytes.insert(bytes.end(), message.data.begin(), message.data.end());
  bytes.push_back('L');
  return bytes;
}

bool decodeFront(std::vector<uint8_t>& stream, Message& message) {
  size_t start = 0;
  while (start < stream.size() && stream[start] != 'N') ++start;
  stream.erase(stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(start));
  if (stream.size() < 10) return false;
  const size_t size = static_cast<size_t>(stream[7]) << 8 | stream[8];
  if (stream.size() < 10 + size) return false;
  if (stream[9 + size] != 'L') {  // not a message after all: resynchronise
    stream.erase(stream.begin());
    return decodeFront(stream, message);
  }
  message.type = static_cast<uint16_t>(stream[1] << 8 | stream[2]);
  message.requestId = static_cast<uint32_t>(stream[3]) << 24 | static_cast<uint32_t>(stream[4]) << 16 |
                      static_cast<uint32_t>(stream[5]) << 8 | stream[6];
  message.data.assign(stream.begin() + 9, stream.begin() + 9 + static_cast<std::ptrdiff_t>(size));
  stream.erase(stream.begin(), stream.begin() + 10 + static_cast<std::ptrdiff_t>(size));
  return true;
}

namespace {
Rotation multiply(const Rotation& a, const Rotation& b) {
  return {a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z, a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y,
          a.w * b.y - a.x * b.z + a.y * b.w + a.z * b.x, a.w * b.z + a.x * b.y - a.y * b.x + a.z * b.w};
}
void putBig32(std::vector<uint8_t>& bytes, uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) bytes.push_back(static_cast<uint8_t>(value >> shift));
}
void putBigFloat(std::vector<uint8_t>& bytes, double value) {
  const auto f = static_cast<float>(value);
  uint32_t raw;
  std::memcpy(&raw, &f, sizeof raw);
  putBig32(bytes, raw);
}
}  // namespace

Rotation rotationOf(const MotionSample& m) {
  const Rotation heading{std::cos(m.yaw / 2), 0, std::sin(m.yaw / 2), 0};
  const Rotation bank{std::cos(m.roll / 2), 0, 0, std::sin(m.roll / 2)};
  const Rotation attitude{std::cos(m.pitch / 2), std::sin(m.pitch / 2), 0, 0};
  return multiply(multiply(heading, bank), attitude);
}

// Built from rotation matrices rather than the quaternion: the car's matrix is
// Ry(heading) Rz(roll) Rx(pitch) (car axes to world axes); the world's up
// axis in car axes is its transpose applied to (0, 1, 0), i.e. its middle row.
Axis upInCarAxes(const MotionSample& m) {
  using Matrix = std::array<std::array<double, 3>, 3>;
  const auto product = [](const Matrix& a, const Matrix& b) {
    Matrix c{};
    for (size_t i = 0; i < 3; ++i)
      for (size_t j = 0; j < 3; ++j)
        for (size_t k = 0; k < 3; ++k) c[i][j] += a[i][k] * b[k][j];
    return c;
  };
  const double ch = std::cos(m.yaw), sh = std::sin(m.yaw);
  const double cr = std::cos(m.roll), sr = std::sin(m.roll);
  const double cp = std::cos(m.pitch), sp = std::sin(m.pitch);
  const Matrix heading = {{{ch, 0, sh}, {0, 1, 0}, {-sh, 0, ch}}};
  const Matrix roll = {{{cr, -sr, 0}, {sr, cr, 0}, {0, 0, 1}}};
  const Matrix pitch = {{{1, 0, 0}, {0, cp, -sp}, {0, sp, cp}}};
  const Matrix car = product(product(heading, roll), pitch);
  return {car[1][0], car[1][1], car[1][2]};
}

std::vector<uint8_t> telemetryData(const MotionSample& m, int32_t state, int32_t frame) {
  std::vector<uint8_t> data;
  const int32_t integers[8] = {state, frame, 1 /* view mode */, 0, 0, 1 /* coaster */, 0, 0};
  for (int32_t v : integers) putBig32(data, static_cast<uint32_t>(v));
  const Rotation q = rotationOf(m);
  // What an accelerometer in the car reads: the motion's own acceleration plus
  // the ground's push against gravity along the world's up axis, in the car's
  // axes (x to the left, y up, z forward), in g.
  const Axis up = upInCarAxes(m);
  const double feltX = -m.lateralAccel + kStandardGravity * up.x;
  const double feltY = m.verticalAccel + kStandardGravity * up.y;
  const double feltZ = m.longitudinalAccel + kStandardGravity * up.z;
  putBigFloat(data, m.speed);
  putBigFloat(data, std::cos(m.yaw) * 40.0);  // position on the track
  putBigFloat(data, 12.0 + m.verticalSpeed);
  putBigFloat(data, std::sin(m.yaw) * 40.0);
  putBigFloat(data, q.x);
  putBigFloat(data, q.y);
  putBigFloat(data, q.z);
  putBigFloat(data, q.w);
  putBigFloat(data, feltX / kStandardGravity);
  putBigFloat(data, feltY / kStandardGravity);
  putBigFloat(data, feltZ / kStandardGravity);
  return data;
}

}  // namespace nl2

bool NoLimitsSim::start() {
  stop();
  platform::NetworkStartup startup;
  if (platform::startNetworking(startup) != 0) return false;
  listener_ = platform::openTcpSocket();
  if (listener_ == platform::kInvalidSocket || !platform::bindSocket(listener_, platform::loopbackAddress(port_)) ||
      !platform::listenSocket(listener_, 4)) {
    platform::closeSocket(listener_);
    listener_ = platform::kInvalidSocket;
    platform::stopNetworking();
    return false;
  }
  port_ = platform::portOf(platform::localAddress(listener_));
  running_.store(true);
  thread_ = std::thread([this] { serve(); });
  return true;
}

void NoLimitsSim::stop() {
  if (!running_.exchange(false)) return;
  if (thread_.joinable()) thread_.join();
  platform::closeSocket(client_);
  client_ = platform::kInvalidSocket;
  platform::closeSocket(listener_);
  listener_ = platform::kInvalidSocket;
  platform::stopNetworking();
}

void NoLimitsSim::write(const MotionSample& sample) {
  std::lock_guard lock(sampleMutex_);
  latest_ = sample;
  ++frame_;
}

nl2::Message NoLimitsSim::answer(const nl2::Message& request) {
  if (request.type != nl2::kTelemetryRequest) return {nl2::kOk, request.requestId, {}};
  std::lock_guard lock(sampleMutex_);
  return {nl2::kTelemetryAnswer, request.requestId, nl2::telemetryData(latest_, state(), frame_)};
}

void NoLimitsSim::serve() {
  std::vector<uint8_t> pending;
  while (running_.load()) {
    if (platform::waitReadable(listener_, 2000) == platform::Readiness::Ready) {
      const platform::SocketHandle incoming = platform::acceptConnection(listener_);
      if (incoming != platform::kInvalidSocket) {
        platform::closeSocket(client_);
        client_ = incoming;
        pending.clear();
      }
    }
    if (client_ != platform::kInvalidSocket) serveClient(pending);
  }
}

void NoLimitsSim::serveClient(std::vector<uint8_t>& pending) {
  if (platform::waitReadable(client_, 2000) != platform::Readiness::Ready) return;
  uint8_t chunk[1024];
  const int n = platform::receiveBytes(client_, chunk, sizeof chunk);
  if (n <= 0) {  // the client left
    platform::closeSocket(client_);
    client_ = platform::kInvalidSocket;
    pending.clear();
    return;
  }
  pending.insert(pending.end(), chunk, chunk + n);
  nl2::Message request;
  while (nl2::decodeFront(pending, request)) {
    const std::vector<uint8_t> reply = nl2::encode(answer(request));
    // Counted before it leaves: a client that has the answer finds it counted.
    answered_.fetch_add(1, std::memory_order_relaxed);
    if (platform::sendBytes(client_, reply.data(), static_cast<int>(reply.size())) <= 0)
      answered_.fetch_sub(1, std::memory_order_relaxed);
  }
}

}  // namespace gamesim
