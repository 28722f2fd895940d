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

// setMulticastAddr: a valid dotted IPv4 text becomes the group of the next
// sender start (the host sets it to be used; only a valid text can be);
// invalid text (or null) keeps the group. Logs the group and port in use
// after the call.
void setMulticastAddress(UdpLink& udp, const char* text);

}  // namespace portrelay
