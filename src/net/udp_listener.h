// The receiving half of the UDP link to the rig: datagrams on the listen port
// go through the frame parser into the network receive queue; a valid frame
// switches UDP mode on, 8 s without one switch it off again.
#pragma once
#include <cstdint>

#include "net/udp_link.h"
#include "riglink/link_state.h"

namespace portrelay {

// startUPDListenThread: runs the listener on the calling thread until
// networkRunning is cleared. A failed open of the listen port is logged; the
// listener then runs on and receives nothing.
void runUdpListener(RigLinkState& link, UdpLink& udp);

// setUDPport: stores the low 16 bits of `port` as the listen port of the next
// listener start and logs it.
void setListenPort(UdpLink& udp, int32_t port);

// Datagrams taken from the socket in one pass at most: the rig may answer
// faster than the 2-ms pass, and a backlog would age its frames.
inline constexpr int kMaxDatagramsPerPass = 16;

}  // namespace portrelay
