// The UDP link to the rig: the settings the host gives it (multicast group,
// listen port) and what the multicast sender and the UDP listener keep of
// their own. The link's flags and queues are those of RigLinkState.
#pragma once
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "common/cycle_timer.h"
#include "riglink/message_queue.h"

namespace portrelay {

inline constexpr const char* kDefaultMulticastAddress = "232.11.12.14";
inline constexpr size_t kMaxMulticastAddressLength = 19;
inline constexpr int32_t kDefaultMulticastPort = 51324;
inline constexpr int32_t kDefaultListenPort = 53241;
// UDP mode ends after this long without a valid frame from the rig.
inline constexpr int64_t kNetworkFramesExpiryNs = 8'000'000'000;

class UdpLink {
 public:
  UdpLink() = default;
  UdpLink(const UdpLink&) = delete;
  UdpLink& operator=(const UdpLink&) = delete;

  // Destination group of the sender's datagrams (dotted text, at most 19
  // characters), read by the sender once at its start.
  std::string multicastAddress() const;
  void setMulticastAddress(const std::string& address);

  std::atomic<int32_t> multicastPort{kDefaultMulticastPort};  // low 16 bits used
  std::atomic<int32_t> listenPort{kDefaultListenPort};        // a 16-bit port
  // The sender's repetition counter of the auto queue (the relay keeps its own).
  std::atomic<int32_t> networkRepeatCount{0};
  CycleTimer networkCycleTimer;  // sender thread only
  // How long UDP mode outlives the last valid frame; read by the listener at its start.
  std::atomic<int64_t> framesExpiryNs{kNetworkFramesExpiryNs};
  // Datagrams the sender handed to the system, for the host's tools.
  std::atomic<uint64_t> datagramsSent{0};
  // Sends the system refused (each is retried after a back-off).
  std::atomic<uint64_t> sendFailures{0};
  // The address (network byte order) of the adapter the sender bound, 0
  // before any sender chose one; the listener receives on it alone.
  std::atomic<uint32_t> senderAdapter{0};

 private:
  mutable std::mutex addressMutex_;
  std::string multicastAddress_ = kDefaultMulticastAddress;
};

// The process's UDP link, created on first use; looked up at the C boundary only.
UdpLink& udpLink();

// Removes the motion frames (header 0xFC 0xFC) from a transmit queue: frames
// that waited while nothing reached the rig must never move it later. Host
// messages stay, in their order. Returns how many were removed.
size_t dropQueuedMotionFrames(MessageQueue& queue);

}  // namespace portrelay
