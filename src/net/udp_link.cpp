#include "net/udp_link.h"

namespace portrelay {

std::string UdpLink::multicastAddress() const {
  std::lock_guard lock(addressMutex_);
  return multicastAddress_;
}

void UdpLink::setMulticastAddress(const std::string& address) {
  std::lock_guard lock(addressMutex_);
  multicastAddress_ = address;
}

namespace {
// Built when the library loads, so destroyed after the rig link, whose release
// at unload waits for the sender and the listener that use it.
UdpLink theUdpLink;
}  // namespace

UdpLink& udpLink() { return theUdpLink; }

size_t dropQueuedMotionFrames(MessageQueue& queue) {
  return queue.removeIf([](const uint8_t* bytes, size_t length) {
    return length >= 2 && bytes[0] == 0xFC && bytes[1] == 0xFC;
  });
}

}  // namespace portrelay
