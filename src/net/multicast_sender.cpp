#include "net/multicast_sender.h"

#include <string>

#include "log/logger.h"
#include "net/adapter_selection.h"
#include "net/ipv4_text.h"
#include "platform/scheduling.h"
#include "platform/sockets.h"
#include "riglink/crc16.h"
#include "riglink/phase_lock.h"
#include "riglink/rig_frames.h"

namespace portrelay {
namespace {

constexpr int kIdleSleepMs = 100;
// After a failed send the sender waits before it tries again: 10 ms, doubling
// with each failure in a row up to 1 s, in slices short enough for a stop.
constexpr int kFirstRetryDelayMs = 10;
constexpr int kLongestRetryDelayMs = 1000;
constexpr int kRetrySliceMs = 10;

std::string lastError() { return std::to_string(platform::lastSocketError()); }

bool sendDatagram(UdpLink& udp, platform::SocketHandle socket, const uint8_t* bytes, size_t length,
                  const platform::SocketAddress& to) {
  if (platform::sendTo(socket, bytes, static_cast<int>(length), to) < 0) return false;
  udp.datagramsSent.fetch_add(1, std::memory_order_relaxed);
  return true;
}

// One active pass without its pacing: the whole network queue (checksummed),
// then the front auto message with its repetition rule. False when a send
// failed; the failing message stays queued.
bool sendPendingMessages(RigLinkState& link, UdpLink& udp, platform::SocketHandle socket,
                         const platform::SocketAddress& to) {
  uint8_t message[kMaxMessageLength];
  int64_t queuedAt = 0;
  uint64_t id = 0;
  // Every waiting network message, oldest first, with its CRC in place of the terminator.
  while (const auto length = link.networkTxQueue().copyFront(message, &queuedAt, &id)) {
    if (isMotionFrame(message, *length)) link.motionQueueWait().recordQueuedSince(queuedAt);
    if (*length > 2) {
      storeCrcInEndPair(message, *length);
      if (!sendDatagram(udp, socket, message, *length, to)) return false;  // it stays queued
    }
    // What was sent, not a message that took the front while it was sent.
    link.networkTxQueue().removeFront(id);
  }
  // The front auto message, checksummed once the rig's firmware takes it so.
  const auto length = link.autoTxQueue().copyFront(message, nullptr, &id);
  if (!length) return true;
  if (*length > 2) {
    if (link.autoChecksum()) storeCrcInEndPair(message, *length);
    if (!sendDatagram(udp, socket, message, *length, to)) return false;
  }
  link.autoTxQueue().popFrontIf(id, [&](size_t size) {
    if (size >= 2) {
      udp.networkRepeatCount.store(0, std::memory_order_relaxed);
      return true;
    }
    if (udp.networkRepeatCount.load(std::memory_order_relaxed) > 10) {
      udp.networkRepeatCount.store(1, std::memory_order_relaxed);
      return true;
    }
    udp.networkRepeatCount.fetch_add(1, std::memory_order_relaxed);
    return false;
  });
  return true;
}

// Waits out the back-off of the failure count given, or less when stopped.
void waitBeforeRetry(const RigLinkState& link, int failures) {
  int delayMs = kFirstRetryDelayMs;
  for (int i = 1; i < failures && delayMs < kLongestRetryDelayMs; ++i) delayMs *= 2;
  if (delayMs > kLongestRetryDelayMs) delayMs = kLongestRetryDelayMs;
  for (int waited = 0; waited < delayMs && link.networkRunning(); waited += kRetrySliceMs)
    sleepMilliseconds(kRetrySliceMs);
}

// Logged on the first failure of a run and then at 2, 4, 8 ... in a row, so a
// lasting failure is seen without filling the log.
bool worthLogging(int failures) { return (failures & (failures - 1)) == 0; }

}  // namespace

void runMulticastSender(RigLinkState& link, UdpLink& udp) {
  // From the first statement to the last: stopPortRelay_Thread waits for it,
  // and every way out clears networkRunning and sets networkStopped.
  NetworkThreadScope scope(link, LinkThread::sender);
  if (!scope.entered()) return;  // stopped before it began
  Logger logger;
  logger.info("Multicast Thread started.");
  platform::requestMillisecondTimer();
  platform::raiseProcessPriority();
  platform::raiseThreadPriority();

  platform::NetworkStartup startup;
  if (const int code = platform::startNetworking(startup); code != 0) {
    logger.info("Multicastthread:WSAStartup failed with error: " + std::to_string(code));
    return;
  }
  const std::string adapter = GetPreferredEthernetAdapter(logger);
  const auto adapterAddress = ipv4FromText(adapter);
  if (!adapterAddress) {
    logger.info("Multicastthread:No suitable Ethernet found , exiting");
    platform::stopNetworking();
    return;
  }
  const platform::SocketHandle socket = platform::openUdpSocket();
  if (socket == platform::kInvalidSocket) {
    logger.info("Multicastthread:Socket failed with error: " + lastError());
    platform::stopNetworking();
    return;
  }
  platform::SocketAddress local = platform::anyAddress(0);
  local.address = *adapterAddress;
  if (!platform::bindSocket(socket, local)) {
    logger.info("Multicastthread:Socket failed  bind with error: " + lastError());
    platform::closeSocket(socket);
    platform::stopNetworking();
    return;
  }
  logger.info("Multicastthread: Bound to Ip: " + adapter);
  // The listener receives on this adapter only (udp_listener.h).
  udp.senderAdapter.store(*adapterAddress, std::memory_order_relaxed);

  platform::SocketAddress destination =
      platform::anyAddress(static_cast<uint16_t>(udp.multicastPort.load(std::memory_order_relaxed) & 0xFFFF));
  // The group text was validated when it was set; the default is the fallback.
  destination.address =
      ipv4FromText(udp.multicastAddress()).value_or(*ipv4FromText(kDefaultMulticastAddress));

  scope.announceRunning();
  logger.info("Multicastthread: starting Timer");
  udp.networkCycleTimer.markInterval();

  // Paced like the relay: a pass per engine frame, its own 2-ms tick without frames.
  PhaseLock phase;
  // Motion queued before this start (while no sender ran) is out of date.
  bool wasIdle = true;
  int failures = 0;  // sends failed in a row
  while (link.networkRunning()) {
    if (!link.mode().udpMayRun()) {
      wasIdle = true;
      sleepWhileSet(link.networkRunFlag(), kIdleSleepMs);
      continue;
    }
    if (wasIdle) {
      // Motion queued while this link sent nothing is out of date by now.
      dropQueuedMotionFrames(link.networkTxQueue());
      wasIdle = false;
    }
    phase.beginCycle(link.motionFrames());
    if (!sendPendingMessages(link, udp, socket, destination)) {
      // The failing message stays queued and is tried again after a
      // back-off; the link goes on (a group the network refuses for now, a
      // cable pulled). Motion queued meanwhile is past by then.
      ++failures;
      udp.sendFailures.fetch_add(1, std::memory_order_relaxed);
      if (worthLogging(failures))
        logger.info("Multicastthread: Send failed:" + lastError() + " (" + std::to_string(failures) +
                    " in a row), retrying");
      waitBeforeRetry(link, failures);
      wasIdle = true;
      continue;
    }
    if (failures > 0) {
      logger.info("Multicastthread: Sending again after " + std::to_string(failures) + " failed sends");
      failures = 0;
    }
    phase.endCycle(udp.networkCycleTimer, link.motionFrames());
  }

  logger.info("Multicastthread: Closing Socket:" + lastError());
  if (!platform::closeSocket(socket)) {
    // Logged, and the thread ends like any other failure: the host process lives on.
    logger.info("Multicastthread: Closing Socket failed:" + lastError());
    platform::stopNetworking();
    return;
  }
  logger.info("Multicastthread: Exiting:" + lastError());
  platform::stopNetworking();
}

void setMulticastAddress(UdpLink& udp, const char* text) {
  Logger logger;
  const auto address = text != nullptr ? ipv4FromText(text) : std::nullopt;
  const bool valid = address.has_value() && isMulticastGroup(*address);
  if (valid) {
    // The group as given; a text longer than the setting holds (leading
    // zeros) is kept in its plain dotted form.
    const std::string given = text;
    platform::SocketAddress plain;
    plain.address = *address;
    udp.setMulticastAddress(given.size() <= kMaxMulticastAddressLength ? given : platform::addressText(plain));
  }
  const std::string inUse = udp.multicastAddress() + " and Port: " +
                            std::to_string(udp.multicastPort.load(std::memory_order_relaxed));
  if (valid)
    logger.info("UDP Controller Thread: Validated multicast IP address. using Multicast address: " + inUse);
  else
    logger.info("UDP Controller Thread: Failed to validate multicast IP address. Using default Multicast address: " +
                inUse);
}

}  // namespace portrelay
