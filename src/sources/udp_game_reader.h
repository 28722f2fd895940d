// The transport half of every game that streams telemetry datagrams to a
// local UDP port: detection (port probe and process tests in the game's order),
// attach (the game's UDP endpoint) and detach. The game's reader derives from
// it and decodes what nextDatagram() delivers into the record.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "net/udp.h"
#include "sources/byte_view.h"
#include "sources/game_reader.h"

namespace portrelay {

// At most this many waiting datagrams are taken in one read: a flood must not
// hold the engine cycle.
inline constexpr int kMaxDatagramsPerRead = 64;

struct UdpDetection {
  enum class Order {
    ProbeOnly,         // a datagram on the port is enough
    ProbeThenProcess,  // a datagram, then one of the processes
    ProcessThenProbe,  // one of the processes (tried in order), then a datagram
  };
  uint16_t port = 0;
  Order order = Order::ProbeOnly;
  std::vector<std::wstring> processes;
};

class UdpGameReader : public GameReader {
 public:
  explicit UdpGameReader(UdpDetection detection);

  bool detect() override;
  // Opens the endpoint on the game's port.
  bool attach() override;
  // Closes the endpoint when it is open.
  void detach() override;
  bool gameProcessRunning() const override { return detection_.processes.empty() || anyProcessRunning(); }

  uint16_t port() const { return detection_.port; }

 protected:
  // One non-blocking receive into the endpoint's buffer: the bytes received,
  // an empty view when nothing waits (or the receive failed). Valid until the
  // next receive.
  ByteView nextDatagram() {
    const int n = endpoint_.receiveDatagram();
    return {endpoint_.receiveBuffer, n > 0 ? static_cast<size_t>(n) : 0};
  }
  // Hands every waiting datagram to `take`, in arrival order (at most
  // kMaxDatagramsPerRead); true when `take` accepted one. At the game's usual
  // rate that is the one datagram sent since the last call; after a stall, or
  // from a game sending faster than the engine cycles, the backlog goes at
  // once and the record holds the newest sample instead of an ever older one.
  template <typename Take>
  bool takeWaiting(Take take) {
    bool accepted = false;
    for (int taken = 0; taken < kMaxDatagramsPerRead; ++taken) {
      const ByteView datagram = nextDatagram();
      if (datagram.size == 0) break;
      accepted = take(datagram) || accepted;
    }
    return accepted;
  }
  Udp& endpoint() { return endpoint_; }

 private:
  bool anyProcessRunning() const;

  UdpDetection detection_;
  Udp endpoint_;
};

}  // namespace portrelay
