// NoLimits 2's telemetry server: TCP on 127.0.0.1, messages framed as 'N',
// 16-bit type, 32-bit request id, 16-bit data size, data, 'L' (big-endian).
#pragma once
#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "gamesim/game_sim.h"
#include "platform/sockets.h"

namespace gamesim {

namespace nl2 {
inline constexpr uint16_t kPort = 15151;
inline constexpr uint16_t kOk = 1;  // the simulation's answer to requests it has no data for
inline constexpr uint16_t kTelemetryRequest = 5;
inline constexpr uint16_t kTelemetryAnswer = 6;
inline constexpr size_t kTelemetryLength = 76;
// State: 1 playing (default), 0 not in play (the telemetry's state word is 0).
inline constexpr int32_t kNotPlaying = 0, kPlaying = 1;

struct Message {
  uint16_t type = 0;
  uint32_t requestId = 0;
  std::vector<uint8_t> data;
};

std::vector<uint8_t> encode(const Message& message);
// Takes the first whole message off the front of `stream`; false while none is complete.
// Bytes before an 'N' are skipped.
bool decodeFront(std::vector<uint8_t>& stream, Message& message);

// The car's rotation (w, x, y, z) for the lap's attitude: heading about y,
// then roll about z, then pitch about x.
struct Rotation {
  double w = 1.0, x = 0.0, y = 0.0, z = 0.0;
};
Rotation rotationOf(const MotionSample& m);
// The world's up direction (y) in the car's axes, for the lap's attitude.
struct Axis {
  double x = 0.0, y = 0.0, z = 0.0;
};
Axis upInCarAxes(const MotionSample& m);
// The telemetry data (76 bytes, big-endian): state, frame number, six more
// integers, then speed, position, rotation quaternion x y z w, and the felt
// acceleration in g (x lateral to the left, y up, z forward).
std::vector<uint8_t> telemetryData(const MotionSample& m, int32_t state, int32_t frame);
}  // namespace nl2

// Listens on 127.0.0.1 only and serves one client at a time (a new client
// replaces the previous one). Every request gets an answer with its request id.
class NoLimitsSim : public GameSim {
 public:
  explicit NoLimitsSim(uint16_t port = nl2::kPort) : GameSim(nl2::kPlaying), port_(port) {}
  ~NoLimitsSim() override { stop(); }
  bool start() override;
  void stop() override;
  void write(const MotionSample& sample) override;

  // The port listened on (the one picked by the system when constructed with 0).
  uint16_t port() const { return port_; }
  int requestsAnswered() const { return answered_.load(std::memory_order_relaxed); }

 protected:
  // The answer to one request: the telemetry of the latest sample (each
  // sample is a new frame) for a telemetry request, an OK otherwise.
  virtual nl2::Message answer(const nl2::Message& request);

 private:
  void serve();
  void serveClient(std::vector<uint8_t>& pending);

  uint16_t port_;
  portrelay::platform::SocketHandle listener_ = portrelay::platform::kInvalidSocket;
  portrelay::platform::SocketHandle client_ = portrelay::platform::kInvalidSocket;
  std::thread thread_;
  std::atomic<bool> running_{false};
  std::atomic<int> answered_{0};
  std::mutex sampleMutex_;
  MotionSample latest_;
  int32_t frame_ = 0;  // frames written so far
};

}  // namespace gamesim
