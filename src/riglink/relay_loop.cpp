#include <algorithm>

#include "common/cycle_timer.h"
#include "log/console.h"
#include "platform/shared_memory.h"
#include "platform/scheduling.h"
#include "platform/serial_device.h"
#include "riglink/crc16.h"
#include "riglink/driver_claim.h"
#include "riglink/frame_parser.h"
#include "riglink/link_state.h"
#include "riglink/rig_frames.h"
#include "riglink/serial_exception.h"

namespace portrelay {
namespace {

constexpr int kPausedSleepMs = 100;
// Idle pacing of the loop while no port is open and autoconnect is off.
constexpr int kIdleCheckMs = 10;
constexpr size_t kSectionSize = 512;
constexpr size_t kRxBufferReserve = 8192;
// Reads per cycle are bounded so that a port streaming without pause cannot
// hold the cycle; the rest waits for the next cycle.
constexpr int kMaxReadsPerCycle = 16;

bool flag(const std::atomic<uint8_t>& f) { return f.load(std::memory_order_relaxed) != 0; }

// A failing port operation: report it and drop the handle it was made on.
// What still waits in the driver's transmit queue is discarded first: a write
// fails when the device stopped taking bytes, so the frames queued there hold
// motion already past, which a controller that reads again must never get.
void relayFailure(RigLinkState& link, const CSerialException& e, uint64_t generation) {
  printConsole(L" Serial Exception Error: %u \n", e.error);
  try {
    link.rigPort().purge(platform::kPurgeTxAbort | platform::kPurgeTxClear, generation);
  } catch (const CSerialException&) {
    // The device has gone, or the handle was closed already: nothing waits.
  }
  if (link.rigPort().closeIfGeneration(generation)) {
    link.setPortOpen(false);
    link.facts().linkLost();
  }
}

// False when a write failed and dropped the port: what was still queued is
// discarded unwritten (past motion, for a port that is gone), so the rest of
// the cycle neither writes to nor reports on a handle that no longer exists.
bool transmitQueue(RigLinkState& link, uint64_t generation) {
  uint8_t message[kMaxMessageLength];
  int64_t queuedAt = 0;
  uint64_t id = 0;
  while (auto length = link.serialTxQueue().copyFront(message, &queuedAt, &id)) {
    if (isMotionFrame(message, *length)) link.motionQueueWait().recordQueuedSince(queuedAt);
    if (*length > 0) {
      storeCrcInEndPair(message, *length);
      try {
        link.rigPort().write(message, static_cast<uint32_t>(*length), generation);
      } catch (const CSerialException& e) {
        relayFailure(link, e, generation);
        link.serialTxQueue().clear();
        return false;
      }
    }
    link.serialTxQueue().removeFront(id);  // what was written, not what took its place
  }
  return true;
}

}  // namespace

void RigLink::transmitAutoMessage(uint64_t generation) {
  uint8_t message[kMaxMessageLength];
  uint64_t id = 0;
  const auto length = autoTxQueue_.copyFront(message, nullptr, &id);
  if (!length) return;
  if (*length > 2) {
    try {
      rigPort_.write(message, static_cast<uint32_t>(*length), generation);
    } catch (const CSerialException& e) {
      relayFailure(*this, e, generation);
    }
  }
  // The newest auto message repeats until a newer one waits behind it or it
  // has gone out twelve times in a row from a count of 0.
  autoTxQueue_.popFrontIf(id, [&](size_t size) {
    if (size >= 2) {
      repeatCount_.store(0, std::memory_order_relaxed);
      return true;
    }
    if (repeatCount_.load(std::memory_order_relaxed) > 10) {
      repeatCount_.store(1, std::memory_order_relaxed);
      return true;
    }
    repeatCount_.fetch_add(1, std::memory_order_relaxed);
    return false;
  });
}

// Reads what the driver reports waiting, never more, so no read blocks.
bool RigLink::receive(uint64_t generation) {
  uint8_t chunk[kMaxMessageLength];
  try {
    for (int round = 0; round < kMaxReadsPerCycle; ++round) {
      platform::SerialQueueStatus status;
      rigPort_.clearError(&status, generation);
      if (status.bytesIn == 0) break;
      const uint32_t want = std::min<uint32_t>(status.bytesIn, sizeof chunk);
      const uint32_t got = rigPort_.read(chunk, want, generation);
      serialRxBuffer_.insert(serialRxBuffer_.end(), chunk, chunk + got);
      if (got < want) break;
    }
  } catch (const CSerialException& e) {
    relayFailure(*this, e, generation);
    return false;
  }
  return true;
}

void RigLink::runRelayLoop() {
  RigLink& link = *this;
  link.relayRunning_.store(1, std::memory_order_relaxed);
  link.relayStopped_.store(0, std::memory_order_relaxed);
  link.mode().resume();
  link.relayCycleTimer_.restart();  // a stopped relay has no cycle length until its first cycle
  while (flag(link.relayRunning_)) {
    if (!link.mode().serialMayRun()) {
      link.relayCycleTimer_.clear();  // a pause is no cycle
      sleepWhileSet(link.relayRunning_, kPausedSleepMs);
      continue;
    }
    if (link.portOpen_.load(std::memory_order_acquire) == 0) {
      link.relayCycleTimer_.clear();  // neither is a scan
      link.mode().serialLost();
      if (flag(link.autoconnect_)) {
        scanForRig();
      } else {
        sleepMilliseconds(kIdleCheckMs);  // nothing to do: do not spin
      }
      continue;
    }
    // Read after portOpen: the generation of the handle that was identified
    // (a handle opened by a manual connection in between and not yet
    // identified would otherwise get this cycle's writes). If that handle has
    // gone since, the cycle's operations fail as on a closed port.
    const uint64_t generation = link.rigPort_.generation();
    relayCycle(generation);
  }
  closeRigPort();
  link.relayStopped_.store(1, std::memory_order_relaxed);
}

namespace {

// A section the relay holds open while it runs; its contents are not used here.
struct RelaySection {
  platform::SharedMemory memory;
  platform::SharedView view;

  bool open(const char* name) {
    memory = platform::SharedMemory::createOrOpen(name, kSectionSize);
    if (!memory.valid()) return false;  // nothing printed
    view = platform::SharedView::map(memory, platform::ViewAccess::ReadWrite, kSectionSize);
    if (view.valid()) return true;
    printConsole(L"Could not map view of file (%d).\n", static_cast<int>(platform::lastSystemError()));
    memory.close();
    return false;
  }
};

}  // namespace

void RigLink::relayCycleWork(uint64_t generation) {
  RigLinkState& link = *this;
  if (!transmitQueue(link, generation)) return;
  transmitAutoMessage(generation);
  if (!receive(generation)) return;
  if (parseFrames(link.serialRxBuffer_, link.serialRxQueue_, link.autoChecksum_, &link.facts_.level) != 0)
    link.mode().serialHeard();
}

void RigLink::relayCycle(uint64_t generation) {
  relayPhase_.beginCycle(motionFrames_);
  relayCycleWork(generation);
  relayPhase_.endCycle(relayCycleTimer_, motionFrames_);
}

int32_t RigLink::runRelay() {
  RigLinkState& link = *this;
  if (link.relayActive_.exchange(1) != 0) return 1;  // another thread runs the loop
  if (!link.threads_.enter(LinkThread::relay)) {  // stopped before it began
    link.relayActive_.store(0, std::memory_order_release);
    return 0;
  }
  const bool ran = runClaimedRelay();
  // Leaving is the last touch of the link: an unload may destroy it right after.
  link.relayActive_.store(0, std::memory_order_release);
  link.threads_.leave(LinkThread::relay);
  return ran ? 1 : 0;
}

bool RigLink::runClaimedRelay() {
  RigLinkState& link = *this;
  DriverClaimScope claim;  // another copy of the library drives the rig: do not run
  if (!claim.held()) return false;
  // Asked to run from the first moment, so a stop that comes now is not lost.
  link.relayRunning_.store(1, std::memory_order_relaxed);
  platform::requestMillisecondTimer();
  platform::raiseProcessPriority();
  platform::raiseThreadPriority();
  if (link.serialRxBuffer_.capacity() < kRxBufferReserve) link.serialRxBuffer_.reserve(kRxBufferReserve);
  {
    RelaySection tx, rx;
    if (tx.open("Tiltaverse_tx")) rx.open("Tiltaverse_rx");
    runRelayLoop();
  }
  closeRigPort();
  return true;
}

void RigLink::stopRelay() {
  RigLinkState& link = *this;
  // A body not running now ends at its next entry: a stop is never lost to a
  // thread that the host has created but that has not entered yet.
  link.threads_.requestStop();
  link.relayRunning_.store(0, std::memory_order_relaxed);
  link.networkRunning_.store(0, std::memory_order_relaxed);
  // Wait for every loop that still runs; ask again on each poll, so that a
  // loop that was just starting is stopped too.
  while (link.threads_.anyRunning()) {
    sleepMilliseconds(1);
    link.relayRunning_.store(0, std::memory_order_relaxed);
    link.networkRunning_.store(0, std::memory_order_relaxed);
  }
  // Nothing runs that could speak to the rig: no transport holds it.
  link.mode().stop();
}

}  // namespace portrelay
