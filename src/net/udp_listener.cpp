#include "net/udp_listener.h"

#include <chrono>
#include <string>
#include <vector>

#include "log/logger.h"
#include "net/udp.h"
#include "platform/scheduling.h"
#include "riglink/frame_parser.h"

namespace portrelay {
namespace {

constexpr int kSerialIdleSleepMs = 100;
constexpr int kPassSleepMs = 2;

bool flag(const std::atomic<uint8_t>& f) { return f.load(std::memory_order_relaxed) != 0; }

int64_t monotonicNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

void runUdpListener(RigLinkState& link, UdpLink& udp) {
  // From the first statement to the last: stopPortRelay_Thread waits for it.
  NetworkThreadScope scope(link, LinkThread::listener);
  if (!scope.entered()) return;  // stopped before it began
  Logger logger;
  logger.info("Udp listen thread: starting");
  platform::requestMillisecondTimer();
  platform::raiseProcessPriority();
  platform::raiseThreadPriority();
  scope.announceRunning();

  Udp socket;
  const bool opened = socket.open(udp.listenPort.load(std::memory_order_relaxed));
  logger.info("Udp listen thread: port opened starting main routine");

  const int64_t expiryNs = udp.framesExpiryNs.load(std::memory_order_relaxed);
  int64_t lastValidNs = monotonicNs();
  std::vector<uint8_t> datagram;
  datagram.reserve(Udp::kBufferSize);  // no allocation per pass

  while (flag(link.networkRunning)) {
    // The rig talks over the serial link: leave the datagrams waiting.
    while (flag(link.serialFramesValid) && flag(link.networkRunning))
      sleepWhileSet(link.networkRunning, kSerialIdleSleepMs);

    for (int taken = 0; taken < kMaxDatagramsPerPass; ++taken) {
      const int length = socket.receiveDatagram();
      if (length <= 0) break;
      datagram.assign(socket.receiveBuffer, socket.receiveBuffer + length);
      if (parseFrames(datagram, link.networkRxQueue, link.autoChecksum) > 0) {
        // Becoming valid: motion queued while the rig was unheard is stale.
        if (link.networkFramesValid.exchange(1, std::memory_order_relaxed) == 0)
          dropQueuedMotionFrames(link.networkTxQueue);
        lastValidNs = monotonicNs();
      }
    }

    if (monotonicNs() - lastValidNs >= expiryNs && flag(link.networkFramesValid)) {
      // The rig went silent: nothing queued for it now may reach it later.
      link.networkFramesValid.store(0, std::memory_order_relaxed);
      link.serialTxQueue.clear();
      link.networkTxQueue.clear();
    }
    sleepMilliseconds(kPassSleepMs);
  }

  logger.info("Udp listen thread: closing");
  if (opened) socket.close();  // logs "Port closed."
  // Without a listener nothing would ever end UDP mode, and the serial relay
  // idles while it lasts.
  link.networkFramesValid.store(0, std::memory_order_relaxed);
}

void setListenPort(UdpLink& udp, int32_t port) {
  const int32_t stored = port & 0xFFFF;
  udp.listenPort.store(stored, std::memory_order_relaxed);
  Logger logger;
  logger.info("UDP Controller Thread : Set UdpPort : " + std::to_string(stored));
}

}  // namespace portrelay
