// The rig link: one object holding the link's state (flags, standard port,
// the five message queues, the rig's serial port) with its parts as members:
// the message API (message_api.cpp), the relay loop (relay_loop.cpp) and the
// discovery of the rig's port (port_discovery.cpp). The relay loop, the
// engine thread, the network link threads and host threads share it, through
// named accessors: flags are single atomic bytes (relaxed: each access is one
// load or one store) that only the link's loops and scopes change, apart from
// the few setters below; queues follow the discipline of MessageQueue. Which
// transport talks to the rig, and the pause, belong to LinkMode alone
// (link_mode.h).
//
// The library has one process-wide link, looked up at the C boundary; the
// engine holds a reference to the link it feeds; tests build one per case.
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "common/cycle_timer.h"
#include "platform/serial_device.h"
#include "riglink/link_mode.h"
#include "riglink/link_threads.h"
#include "riglink/message_queue.h"
#include "riglink/phase_lock.h"
#include "riglink/queue_wait.h"
#include "riglink/rig_facts.h"
#include "riglink/rig_serial_port.h"

namespace portrelay {

// The link's state: the flags, queues and port that its parts share, behind
// names. What the network link threads, the exports, measuring tools and
// tests need is public; how the flags change is the link's own (RigLink,
// NetworkThreadScope).
class RigLinkState {
 public:
  RigLinkState() = default;
  explicit RigLinkState(std::unique_ptr<platform::SerialDevice> device) : rigPort_(std::move(device)) {}

  // ---- flags (each read is one relaxed load) ----
  // The relay loop is asked to run / has ended.
  bool relayRunning() const { return isSet(relayRunning_); }
  bool relayStopped() const { return isSet(relayStopped_); }
  // The rig's port is open and identified (acquire: what identified it is seen).
  bool portOpen() const { return portOpen_.load(std::memory_order_acquire) != 0; }
  // A network link thread is asked to run / has ended / was ever started.
  bool networkRunning() const { return isSet(networkRunning_); }
  bool networkStopped() const { return isSet(networkStopped_); }
  bool networkStarted() const { return isSet(networkStarted_); }
  // The relay loop scans for the rig.
  bool autoconnect() const { return isSet(autoconnect_); }
  void setAutoconnect(bool on) { autoconnect_.store(on ? 1 : 0, std::memory_order_relaxed); }
  // UDP auto messages leave checksummed (the rig's firmware reported taking them).
  bool autoChecksum() const { return isSet(autoChecksum_); }
  // The COM number of the manual connection; the auto queue's repetition count.
  int32_t standardPort() const { return standardPort_.load(std::memory_order_relaxed); }
  int32_t repeatCount() const { return repeatCount_.load(std::memory_order_relaxed); }
  // What a network link thread waits on: it runs while this reads nonzero.
  const std::atomic<uint8_t>& networkRunFlag() const { return networkRunning_; }
  // Where a parser records the rig's report that it takes checksummed auto messages.
  std::atomic<uint8_t>& autoChecksumFlag() { return autoChecksum_; }

  // The run flags as a loop sets them on its way in, for code that drives the
  // link's cycles without the loops (measuring tools, tests).
  void setRelayRunning(bool on) { relayRunning_.store(on ? 1 : 0, std::memory_order_relaxed); }
  void setNetworkRunning(bool on) { networkRunning_.store(on ? 1 : 0, std::memory_order_relaxed); }
  void setNetworkStarted(bool on) { networkStarted_.store(on ? 1 : 0, std::memory_order_relaxed); }
  // As the relay marks a port it identified (release: paired with portOpen()).
  // A closed port also leaves the rig facts without an identified port.
  void setPortOpen(bool on) {
    portOpen_.store(on ? 1 : 0, std::memory_order_release);
    if (!on) facts_.portClosed();
  }

  // ---- the five message queues (each follows MessageQueue's discipline) ----
  MessageQueue& serialTxQueue() { return serialTxQueue_; }
  MessageQueue& networkTxQueue() { return networkTxQueue_; }
  MessageQueue& autoTxQueue() { return autoTxQueue_; }
  MessageQueue& serialRxQueue() { return serialRxQueue_; }
  MessageQueue& networkRxQueue() { return networkRxQueue_; }

  // The rig's serial port.
  CSerialPort& rigPort() { return rigPort_; }
  // Which thread bodies run, and the stops waiting for them.
  const LinkThreads& threads() const { return threads_; }
  // The relay's cycle lengths (getOutputTimeFrame).
  const CycleTimer& relayCycleTimer() const { return relayCycleTimer_; }
  // Raised each time the engine's motion frame is queued; the relay and the
  // multicast sender run their next cycle on it (phase_lock.h).
  FrameSignal& motionFrames() { return motionFrames_; }
  // How long the engine's motion frames waited in the transmit queues before
  // the relay or the multicast sender took them (for measuring tools).
  QueueWaitHistogram& motionQueueWait() { return motionQueueWait_; }
  // The rig's port, identity and level, links lost and frames dropped.
  RigFacts& facts() { return facts_; }
  const RigFacts& facts() const { return facts_; }

  // The transport that talks to the rig and the pause: asked and told, never set.
  LinkMode& mode() { return mode_; }
  const LinkMode& mode() const { return mode_; }

 private:
  friend class RigLink;
  friend class NetworkThreadScope;
  static bool isSet(const std::atomic<uint8_t>& f) { return f.load(std::memory_order_relaxed) != 0; }

  // Flags are single atomic bytes (relaxed: each access is one load or one store).
  std::atomic<uint8_t> relayRunning_{0};
  std::atomic<uint8_t> relayStopped_{0};
  std::atomic<uint8_t> portOpen_{0};
  std::atomic<uint8_t> networkRunning_{0};
  std::atomic<uint8_t> networkStopped_{0};
  std::atomic<uint8_t> networkStarted_{0};
  std::atomic<uint8_t> autoconnect_{0};
  std::atomic<uint8_t> autoChecksum_{0};

  // Loop bodies actually executing, so that stopRelay can wait for every loop
  // it stops (the flags above tell what was asked, not what runs), and the
  // stops that came before a body was entered.
  std::atomic<uint8_t> relayActive_{0};  // one relay loop at a time
  LinkThreads threads_;

  std::atomic<int32_t> standardPort_{0};
  std::atomic<int32_t> repeatCount_{0};

  CSerialPort rigPort_;
  // One connection attempt (a scanned port or the manual connection) at a time.
  std::mutex connectionMutex_;

  std::vector<uint8_t> serialRxBuffer_;  // relay thread only

  MessageQueue serialTxQueue_;
  MessageQueue networkTxQueue_;
  MessageQueue autoTxQueue_;
  MessageQueue serialRxQueue_;
  MessageQueue networkRxQueue_;

  CycleTimer relayCycleTimer_;
  PhaseLock relayPhase_;  // relay thread only
  FrameSignal motionFrames_;
  QueueWaitHistogram motionQueueWait_;
  RigFacts facts_;
  LinkMode mode_;
};

class RigLink : public RigLinkState {
 public:
  // On the platform's serial device, or on the given one (a test's fake).
  RigLink() = default;
  explicit RigLink(std::unique_ptr<platform::SerialDevice> device) : RigLinkState(std::move(device)) {}
  RigLink(const RigLink&) = delete;
  RigLink& operator=(const RigLink&) = delete;

  // The process-wide link, created on first use and kept for the life of the process.
  static RigLink& instance();
  // At library unload or process exit: asks the relay loop and the network
  // link threads to end and waits at most kUnloadGraceMs for every one of them
  // to leave its body (never joining: they are the host's threads). True when
  // none runs any more and the link may be destroyed.
  bool releaseAtUnload() noexcept;
  static constexpr int kUnloadGraceMs = 500;  // a scan step or a cycle ends well within it
  static constexpr int kReturnGraceMs = 20;

  // ---- messages (message_api.cpp) ----
  // sendMessagemmf: queues the message at the start of buffer (up to its first
  // 0x0A 0x0D) for the link that talks, or for both while neither has yet.
  // 1 when queued, -1 when refused.
  int32_t sendMessage(const uint8_t* buffer);
  // The engine's motion frame: queued like sendMessage, but always at its full
  // length (2..512 bytes, ending in 0x0A 0x0D), because its floats may hold the
  // pair 0x0A 0x0D that would cut a message short; a queued frame raises
  // motionFrames, which wakes the transmit loops. Never blocks beyond the
  // queue's copy of the frame; never allocates. 1 when queued, -1 when refused.
  int32_t queueMotionFrame(const uint8_t* frame, size_t length);
  // autoMessagemmf: 1 when queued in the auto queue, 0 when refused.
  int32_t autoMessage(const uint8_t* buffer);
  // readMessagemmf: copies the oldest received frame of the link that talks
  // (whole, with its 0x0A 0x0D end pair) into destination (512 bytes) and
  // returns its length; 0 when nothing waits (destination untouched).
  int32_t readMessage(uint8_t* destination);
  // newMessagemmf: 1 when a received frame waits.
  int32_t newMessage();
  int32_t isConnected() const;
  // setStandartPort: takes the number after the first "COM" (atoi rules).
  int32_t setStandardPort(const char* text);
  int32_t pauseInterface();
  int32_t resumeInterface();

  // ---- relay (relay_loop.cpp) ----
  // startPortRelay_Thread: runs the relay loop on the calling thread until
  // stopped; returns 1. A call while another thread runs the loop returns 1 at
  // once; a call that finds a stop waiting for it returns 0 at once.
  int32_t runRelay();
  // stopPortRelay_Thread: asks the relay loop and the network link threads to
  // end and returns once none of them runs any more (at once when none ran).
  void stopRelay();
  // One relay cycle on the open port: transmit queue, auto queue, receive,
  // parse, then the pacing: until the engine's next frame is queued, or the
  // relay's own 2-ms tick when none comes (phase_lock.h).
  void relayCycle(uint64_t portGeneration);
  // The same without the pacing.
  void relayCycleWork(uint64_t portGeneration);

  // ---- the rig's port (port_discovery.cpp) ----
  // Opens COM port n and gives it the line settings; false (port closed,
  // error code kept) on failure.
  bool openPortHandle(int comNumber);
  // openPortHandle plus time-outs and queue sizes; 1 when fully configured.
  int32_t openRigPort(int comNumber);
  // The manual connection to the standard port; 1 when identified.
  int32_t connectStandardPort();
  // The autoconnect scan over every COM port; 1 when a rig was identified.
  int32_t scanForRig();
  // Closes the rig's port if open and clears portOpen. Returns 1.
  int32_t closeRigPort();

 private:
  // The relay under this copy's DriverClaim; false when another copy holds it.
  bool runClaimedRelay();
  void runRelayLoop();
  // A cycle's steps on the port of `portGeneration`: the front auto message
  // with its repetition rule; what the driver holds into serialRxBuffer_.
  void transmitAutoMessage(uint64_t portGeneration);
  bool receive(uint64_t portGeneration);
};

// Held by a network link thread body (UDP sender or listener) for its whole
// run, from its first statement to its last: stopRelay waits until every such
// scope has ended. A body whose scope did not enter (a stop waited for it, or
// another copy of the library drives the rig) returns at once and changes no
// flag. announceRunning() sets networkRunning, clears
// networkStopped, resumes the link and sets networkStarted (the start-up step
// of both threads); the end of the scope clears networkRunning and sets
// networkStopped (their exit, early or not).
class NetworkThreadScope {
 public:
  NetworkThreadScope(RigLinkState& link, LinkThread body);
  bool entered() const { return entered_; }
  void announceRunning();
  ~NetworkThreadScope();
  NetworkThreadScope(const NetworkThreadScope&) = delete;
  NetworkThreadScope& operator=(const NetworkThreadScope&) = delete;

 private:
  RigLinkState& link_;
  LinkThread body_;
  bool entered_;
  bool claimed_ = false;
};

}  // namespace portrelay
