#include "net/udp_listener.h"

#include <chrono>
#include <limits>
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

int64_t monotonicNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// Parses one datagram from `source` and tells the link's mode what it held.
void takeDatagram(RigLinkState& link, std::vector<uint8_t>& datagram, uint32_t source) {
  LinkMode& mode = link.mode();
  if (!mode.udpAccepts(source)) return;  // not the rig's address: not even parsed
  if (parseFrames(datagram, link.networkRxQueue(), link.autoChecksumFlag(), &link.facts().level) == 0) return;
  const bool wasUdp = mode.transport() == LinkTransport::udp;
  // Becoming UDP: motion queued while the rig was unheard is stale.
  if (mode.udpHeard(source, monotonicNs()) && !wasUdp) dropQueuedMotionFrames(link.networkTxQueue());
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
  const int32_t port = udp.listenPort.load(std::memory_order_relaxed);
  uint32_t boundTo = udp.senderAdapter.load(std::memory_order_relaxed);
  bool opened = socket.open(port, boundTo);
  logger.info("Udp listen thread: port opened starting main routine");

  const int64_t expiryNs = udp.framesExpiryNs.load(std::memory_order_relaxed);
  std::vector<uint8_t> datagram;
  datagram.reserve(Udp::kBufferSize);  // no allocation per pass

  while (link.networkRunning()) {
    // The rig talks over the serial link: leave the datagrams waiting.
    while (link.mode().transport() == LinkTransport::serial && link.networkRunning())
      sleepWhileSet(link.networkRunFlag(), kSerialIdleSleepMs);

    // The sender chose its adapter after this port was opened: receive on it alone.
    if (const uint32_t adapter = udp.senderAdapter.load(std::memory_order_relaxed); adapter != boundTo) {
      boundTo = adapter;
      if (opened) socket.close();
      opened = socket.open(port, boundTo);
    }

    // At most kMaxDatagramsPerPass datagrams and kPassBudget per pass, so a
    // flood neither ages the rig's frames nor delays a stop.
    const auto passEnd = std::chrono::steady_clock::now() + kPassBudget;
    for (int taken = 0; taken < kMaxDatagramsPerPass && std::chrono::steady_clock::now() < passEnd; ++taken) {
      const int length = socket.receiveDatagram();
      if (length <= 0) break;
      datagram.assign(socket.receiveBuffer, socket.receiveBuffer + length);
      takeDatagram(link, datagram, socket.address.address);
    }

    if (link.mode().expireUdp(monotonicNs(), expiryNs)) {
      // The rig went silent: nothing queued for it now may reach it later.
      link.facts().linkLost();
      link.serialTxQueue().clear();
      link.networkTxQueue().clear();
    }
    sleepMilliseconds(kPassSleepMs);
  }

  logger.info("Udp listen thread: closing");
  if (opened) socket.close();  // logs "Port closed."
  // Without a listener nothing would ever end UDP mode, and the serial relay
  // idles while it lasts.
  link.mode().expireUdp(std::numeric_limits<int64_t>::max(), 0);
}

void setListenPort(UdpLink& udp, int32_t port) {
  const int32_t stored = port & 0xFFFF;
  udp.listenPort.store(stored, std::memory_order_relaxed);
  Logger logger;
  logger.info("UDP Controller Thread : Set UdpPort : " + std::to_string(stored));
}

}  // namespace portrelay
