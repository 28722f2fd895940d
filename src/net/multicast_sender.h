// The transmitting half of the UDP link to the rig: every message of the
// network and auto queues leaves as one datagram to the multicast group, from
// the preferred wired Ethernet adapter.
#pragma once
#include <cstdint>

#include "net/udp_link.h"
#include "riglink/link_state.h"

namespace portrelay {

// startUPDMulticastSenderThread: runs the sender on the calling thread until
// networkRunning is cleared, a send fails or the start-up fails. Never ends
// the process; every exit clears networkRunning and sets networkStopped.
void runMulticastSender(RigLinkState& link, UdpLink& udp);

// setMulticastAddr: a dotted IPv4 multicast group (224.0.0.0/4) becomes the
// group of the next sender start; anything else (invalid text, null, a
// unicast, broadcast or any address, which the network would refuse to send
// to) keeps the group. Logs the group and port in use after the call.
void setMulticastAddress(UdpLink& udp, const char* text);

}  // namespace portrelay
