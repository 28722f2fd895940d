// The UDP link's C ABI. Every export catches every exception: nothing may
// unwind into the host.
#include "net/multicast_sender.h"
#include "net/udp_link.h"
#include "net/udp_listener.h"
#include "portrelay/portrelay.h"
#include "riglink/link_state.h"

namespace {

template <typename Body>
void guarded(Body&& body) noexcept {
  try {
    body(portrelay::RigLink::instance(), portrelay::udpLink());
  } catch (...) {
  }
}

}  // namespace

extern "C" {

void startUPDMulticastSenderThread(void) {
  guarded([](portrelay::RigLinkState& link, portrelay::UdpLink& udp) { portrelay::runMulticastSender(link, udp); });
}

void startUPDListenThread(void) {
  guarded([](portrelay::RigLinkState& link, portrelay::UdpLink& udp) { portrelay::runUdpListener(link, udp); });
}

void setMulticastAddr(const char* address) {
  guarded([&](portrelay::RigLinkState&, portrelay::UdpLink& udp) { portrelay::setMulticastAddress(udp, address); });
}

void setUDPport(int32_t port) {
  guarded([&](portrelay::RigLinkState&, portrelay::UdpLink& udp) { portrelay::setListenPort(udp, port); });
}

}  // extern "C"
