// The serial relay: the loop the host runs on a thread of its own, one relay
// cycle every 2 ms while the rig's port is open, and the stop that waits for it.
#pragma once
#include <cstdint>

namespace portrelay {

// startPortRelay_Thread: runs the relay loop on the calling thread until
// stopped; returns 1. A call while another thread runs the loop returns 1 at once.
int32_t startPortRelay();

// stopPortRelay_Thread: asks the relay loop and the network link threads to
// end and returns once none of them runs any more (at once when none ran).
void stopPortRelay();

// One relay cycle on the open port (exposed for tests that drive it by hand):
// transmit queue, auto queue, receive, parse, then the 2-ms pacing.
void relayCycle(uint64_t portGeneration);
// The same without the pacing.
void relayCycleWork(uint64_t portGeneration);

// Idle pacing of the loop while no port is open and autoconnect is off.
inline constexpr int kIdleCheckMs = 10;

}  // namespace portrelay
