// Which transport talks to the rig, and whether the link is paused: the one
// owner of the rig link's mode. The relay, the multicast sender, the UDP
// listener and the message API ask it (may I run? where do messages go?) and
// tell it what they saw (the rig answered on my transport, my port closed,
// time passed); none of them holds a mode flag of its own.
//
// Transport states and what moves them (anything not listed leaves the
// state as it is):
//
//   state        | told                               | next state
//   -------------+------------------------------------+-------------------------------
//   undecided    | serialHeard                        | serial
//   undecided    | udpHeard(from A, at t)             | udp(A), last heard t
//   serial       | serialLost (the rig's port closed) | undecided
//   serial       | udpHeard                           | serial (refused: the rig is on the port)
//   udp(A)       | udpHeard(from A, at t)             | udp(A), last heard t
//   udp(A)       | udpHeard(from B != A)              | udp(A) (refused, nothing refreshed)
//   udp(A)       | serialHeard                        | udp(A) (refused: the rig is on UDP)
//   udp(A)       | expire(now) with now - last >= E   | undecided (caller empties the transmit queues)
//   any          | stop                               | undecided
//
// The state is one atomic word changed by compare-and-exchange, so the two
// transports can never both hold the rig: when both hear it in the same
// cycle, the first to tell wins and the other is refused and idles. The
// serial state ends when the relay finds the port closed; the UDP state
// ends E (8 s) after the last frame from A. Pause is apart from the
// transport: pause() idles every transport, resume() lets them run again.
//
// What a host on the LAN can still do: while the link is undecided (the rig
// has answered on neither transport yet, e.g. while the relay scans), the
// first valid frame from any address on the listen port makes the link UDP
// with that address, until it has been silent for E; it can also set the
// auto-checksum latch with a level report then. Once the link is serial or
// UDP, frames from anyone else are not even parsed.
#pragma once
#include <atomic>
#include <cstdint>

namespace portrelay {

enum class LinkTransport : uint8_t { undecided = 0, serial = 1, udp = 2 };

class LinkMode {
 public:
  LinkMode() = default;
  LinkMode(const LinkMode&) = delete;
  LinkMode& operator=(const LinkMode&) = delete;

  // ---- ask ----
  LinkTransport transport() const;
  // The peer address (network byte order) that made the link UDP; 0 otherwise.
  uint32_t udpPeer() const;
  bool paused() const { return paused_.load(std::memory_order_relaxed) != 0; }
  // The relay may run its cycles: not paused, the rig not on UDP.
  bool serialMayRun() const { return !paused() && transport() != LinkTransport::udp; }
  // The sender and listener may run their passes: not paused, the rig not on the port.
  bool udpMayRun() const { return !paused() && transport() != LinkTransport::serial; }
  // Whether a datagram from `source` may be parsed at all: always while
  // undecided, only from the peer while UDP, never while serial.
  bool udpAccepts(uint32_t source) const;

  // ---- tell ----
  // The relay accepted a frame from the rig's port. True when the link is
  // (now) serial; false when the rig already talks over UDP.
  bool serialHeard();
  // The relay found the rig's port closed: the serial state ends.
  void serialLost();
  // The listener accepted a frame from `source` at `nowNs` (monotonic). True
  // when the link is (now) UDP with that peer.
  bool udpHeard(uint32_t source, int64_t nowNs);
  // The listener's clock: true when this call ended the UDP state because
  // nothing valid came from the peer for expiryNs or more.
  bool expireUdp(int64_t nowNs, int64_t expiryNs);
  void pause() { paused_.store(1, std::memory_order_relaxed); }
  void resume() { paused_.store(0, std::memory_order_relaxed); }
  // The link stops: no transport holds the rig any more.
  void stop();

 private:
  // transport in the low byte, the UDP peer in the high 32 bits.
  static uint64_t pack(LinkTransport transport, uint32_t peer) {
    return static_cast<uint64_t>(peer) << 32 | static_cast<uint8_t>(transport);
  }
  static LinkTransport transportOf(uint64_t word) { return static_cast<LinkTransport>(word & 0xFF); }
  static uint32_t peerOf(uint64_t word) { return static_cast<uint32_t>(word >> 32); }

  std::atomic<uint64_t> word_{pack(LinkTransport::undecided, 0)};
  std::atomic<int64_t> udpLastHeardNs_{0};
  std::atomic<uint8_t> paused_{0};
};

}  // namespace portrelay
