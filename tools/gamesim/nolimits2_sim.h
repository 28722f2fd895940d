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

struct Message {
  uint16_t type = 0;
  uint32_t requestId = 0;
  std::vector<uint8_t> data;
};

std::vector<uint8_t> encode(const Message& message);
// Takes the first whole message off the front of `stream`; false while none is complete.
// Bytes before an 'N' are skipped.
bool decodeFront(std::vector<uint8_t>& stream, Message& message);
}  // namespace nl2

// Listens on 127.0.0.1 only and serves one client at a time (a new client
// replaces the previous one). Every request gets an answer with its request id.
class NoLimitsSim : public GameSim {
 public:
  explicit NoLimitsSim(uint16_t port = nl2::kPort) : port_(port) {}
  ~NoLimitsSim() override { stop(); }
  bool start() override;
  void stop() override;
  void write(const MotionSample& sample) override;

  // The port listened on (the one picked by the system when constructed with 0).
  uint16_t port() const { return port_; }
  int requestsAnswered() const { return answered_.load(std::memory_order_relaxed); }

 protected:
  // The answer to one request; the telemetry request joins here later.
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
};

}  // namespace gamesim
