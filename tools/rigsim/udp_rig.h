// The virtual rig on the UDP link (POSIX): it joins the multicast group the
// library sends to, parses every datagram on its own (CRC of every frame
// checked by VirtualRig), and sends its answers, plus a level report every
// heartbeat once it knows the host, to the host's listen port.
#pragma once
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "virtual_rig.h"

namespace rigsim {

struct UdpRigOptions {
  std::string group = "232.11.12.14";
  uint16_t groupPort = 51324;
  std::string interfaceAddress = "0.0.0.0";  // the local address to join the group on
  uint16_t answerPort = 53241;               // the host's listen port
  int heartbeatMs = 100;                     // 0: answers only
};

class UdpRig {
 public:
  UdpRig() = default;
  ~UdpRig();
  UdpRig(const UdpRig&) = delete;
  UdpRig& operator=(const UdpRig&) = delete;

  // Opens and binds the socket and joins the group in the calling thread's
  // network namespace, then serves on a thread of its own. False on failure.
  bool start(const UdpRigOptions& options);
  void stop();
  // Falls silent (no answers, no heartbeat) or speaks again; datagrams are still counted.
  void setSilent(bool silent) { silent_.store(silent); }
  // Bytes to the host's listen port, unasked (false before the host is known).
  bool sendToHost(const std::vector<uint8_t>& bytes);

  VirtualRig& rig() { return rig_; }
  uint64_t datagrams() const { return datagrams_.load(); }
  uint64_t datagramBytes() const { return datagramBytes_.load(); }
  // The address the host's datagrams came from (dotted), empty before the first.
  std::string hostAddress() const;

 private:
  void serve();

  VirtualRig rig_;
  UdpRigOptions options_;
  int fd_ = -1;
  std::atomic<bool> running_{false};
  std::atomic<bool> silent_{false};
  std::atomic<uint64_t> datagrams_{0};
  std::atomic<uint64_t> datagramBytes_{0};
  mutable std::mutex hostMutex_;
  uint32_t hostAddress_ = 0;  // network order; 0 = unknown
  std::thread thread_;
};

}  // namespace rigsim
