// The library's UDP endpoint: a non-blocking IPv4 datagram socket bound to a
// local port on all interfaces, with its receive buffer and its own log file
// writer. Used by the UDP telemetry games (open/receive), by game detection
// (probe) and by the UDP listener of the rig link.
#pragma once
#include <cstdint>
#include <vector>

#include "log/logger.h"
#include "platform/sockets.h"

namespace portrelay {

class Udp {
 public:
  static constexpr int kBufferSize = 8192;
  static constexpr int kProbeReceiveSize = 5045;
  static constexpr long kProbeWindowUs = 20000;

  // Logs "Udp class init".
  Udp();
  // Closes the logger only; the socket is Udp::close's job.
  ~Udp() = default;
  Udp(const Udp&) = delete;
  Udp& operator=(const Udp&) = delete;

  // Binds the low 16 bits of `port` on every interface, or on the one whose
  // address (network byte order) is given, non-blocking. True when the port
  // is open; a failure leaves no socket and no network start-up held.
  bool open(int32_t port, uint32_t localAddress = 0);
  // Closes the socket and releases the start-up that open made; logs "Port closed.".
  // Safe on an object that is not open (nothing is released twice).
  int close();
  // The next waiting datagram, or an empty sequence; waits at most ~1 µs.
  std::vector<uint8_t> receive();
  // Binds the port for 20 ms and reports whether a datagram arrived (1) or not
  // (0). When it cannot watch the port (start-up, socket, bind or wait failure,
  // or this object's own port is open) it answers 0. Leaves no socket open.
  int32_t probe(int32_t port);

  // The telemetry readers' receive: one non-blocking receive of at most
  // kBufferSize bytes into receiveBuffer, the sender into `address`. Returns the
  // byte count; 0 or less means nothing (or an error).
  int receiveDatagram();
  bool isOpen() const { return socketHandle != platform::kInvalidSocket; }

  // ---- members, in this order ----
  int32_t dataSeen = 0;
  uint8_t receiveBuffer[kBufferSize] = {};
  int32_t addressLength = platform::kSocketAddressLength;
  platform::NetworkStartup winsockData;
  platform::SocketHandle socketHandle = platform::kInvalidSocket;
  platform::SocketAddress address;
  Logger logger;

 private:
  bool holdsStartup_ = false;  // a start-up made by open, still to release
};

}  // namespace portrelay
