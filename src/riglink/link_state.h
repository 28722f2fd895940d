// The process-wide state of the rig link, shared by the relay loop, the engine
// thread, the network link threads and host threads. Flags are single atomic
// bytes (relaxed: each access is one load or one store); queues follow the
// discipline of MessageQueue.
#pragma once
#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

#include "engine/cycle_timer.h"
#include "riglink/message_queue.h"
#include "riglink/rig_serial_port.h"

namespace portrelay {

struct RigLinkState {
  // ---- flags ----
  std::atomic<uint8_t> relayRunning{0};        // the relay loop is asked to run
  std::atomic<uint8_t> relayStopped{0};        // the relay loop has ended
  std::atomic<uint8_t> interfaceRunning{1};    // the link is not paused
  std::atomic<uint8_t> portOpen{0};            // the rig's port is open and identified
  std::atomic<uint8_t> serialFramesValid{0};   // the rig talks the frame protocol on the port
  std::atomic<uint8_t> networkFramesValid{0};  // the rig talks over UDP
  std::atomic<uint8_t> networkRunning{0};      // a network link thread is asked to run
  std::atomic<uint8_t> networkStopped{0};      // a network link thread has ended
  std::atomic<uint8_t> networkStarted{0};      // a network link thread was ever started
  std::atomic<uint8_t> autoconnect{0};         // the relay loop scans for the rig
  std::atomic<uint8_t> autoChecksum{0};        // UDP auto messages leave checksummed

  // Loop bodies actually executing, so that stopPortRelay_Thread can wait for
  // every loop it stops (the flags above tell what was asked, not what runs).
  std::atomic<uint8_t> relayActive{0};
  std::atomic<int32_t> networkThreadsActive{0};

  std::atomic<int32_t> standardPort{0};  // COM number for the manual connection
  std::atomic<int32_t> repeatCount{0};   // auto-queue repetition counter of the serial link

  CSerialPort rigPort;
  // One connection attempt (a scanned port or the manual connection) at a time.
  std::mutex connectionMutex;

  std::vector<uint8_t> serialRxBuffer;  // relay thread only

  MessageQueue serialTxQueue;
  MessageQueue networkTxQueue;
  MessageQueue autoTxQueue;
  MessageQueue serialRxQueue;
  MessageQueue networkRxQueue;

  CycleTimer relayCycleTimer;
};

// The one link state, created on first use and kept for the life of the process.
RigLinkState& rigLink();

// Held by a network link thread body (UDP sender or listener) for its whole
// run, from its first statement to its last: stopPortRelay_Thread waits until
// every such scope has ended. announceRunning() sets networkRunning, clears
// networkStopped, sets interfaceRunning and networkStarted (the start-up step
// of both threads); the end of the scope clears networkRunning and sets
// networkStopped (their exit, early or not).
class NetworkThreadScope {
 public:
  NetworkThreadScope() : NetworkThreadScope(rigLink()) {}
  explicit NetworkThreadScope(RigLinkState& link);
  void announceRunning();
  ~NetworkThreadScope();
  NetworkThreadScope(const NetworkThreadScope&) = delete;
  NetworkThreadScope& operator=(const NetworkThreadScope&) = delete;

 private:
  RigLinkState& link_;
};

// Closes the rig's port if open and clears portOpen. Returns 1.
int32_t closeRigPort();

}  // namespace portrelay
