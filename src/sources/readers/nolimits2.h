// NoLimits 2 (id 8): the coaster simulator's telemetry server, a TCP
// request/response protocol on 127.0.0.1 port 15151.
#pragma once
#include <array>
#include <cstdint>

#include "platform/sockets.h"
#include "sources/game_reader.h"

namespace portrelay::readers {

inline constexpr uint16_t kNoLimitsPort = 15151;
inline constexpr int kNoLimitsWaitMs = 500;

// A message without data: 'N', 16-bit type, 32-bit request id, 16-bit data
// size 0, 'L'; integers big-endian.
std::array<uint8_t, 10> noLimitsRequest(uint16_t type, uint32_t requestId);

// The detection handshake: connect, send the idle request (type 0, id 1234)
// and wait up to 500 ms for an answer to become readable. The socket is closed
// in every case; failures are written to standard error.
bool noLimitsHandshake(uint16_t port);

class NoLimits2Reader : public GameReader {
 public:
  explicit NoLimits2Reader(uint16_t port = kNoLimitsPort) : port_(port) {}
  ~NoLimits2Reader() override { detach(); }

  bool detect() override { return noLimitsHandshake(port_); }
  // Connects and keeps a non-blocking socket.
  bool attach() override;
  // Base behaviour while this build lacks the telemetry decoder: nothing new.
  bool read(SampleRecord& record) override;
  void detach() override;

  bool connected() const { return socket_ != platform::kInvalidSocket; }

 private:
  uint16_t port_;
  platform::SocketHandle socket_ = platform::kInvalidSocket;
  bool holdsStartup_ = false;
};

}  // namespace portrelay::readers
