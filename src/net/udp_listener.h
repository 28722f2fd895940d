// The receiving half of the UDP link to the rig: datagrams on the listen port
// go through the frame parser into the network receive queue; a valid frame
// makes the link UDP with its sender's address (LinkMode), 8 s without one
// from that address end it again. While the link is UDP, datagrams from any
// other address are dropped unparsed. Once the multicast sender has chosen
// its adapter, the listen port is bound on that adapter's address only. What
// a host on the LAN can still do is said in riglink/link_mode.h.
#pragma once
#include <chrono>
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
// Time one pass may spend taking datagrams (a flood of garbage waits in the
// socket, or is dropped by the system, rather than delay frames or a stop).
inline constexpr std::chrono::microseconds kPassBudget{1000};

}  // namespace portrelay
