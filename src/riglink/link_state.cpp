#include "riglink/link_state.h"

#include <chrono>
#include <thread>

#include "riglink/driver_claim.h"

namespace portrelay {

namespace {

// Owns the process-wide link. Its destructor runs at process exit or library
// unload, after the engine's (which was created after the link): the link's
// thread bodies run on host threads, so the link is destroyed only once each
// has left the library; a link whose bodies do not end in time is left in place.
struct LinkHolder {
  RigLink* link = new RigLink();
  ~LinkHolder() {
    if (link->releaseAtUnload()) delete link;
  }
};

}  // namespace

RigLink& RigLink::instance() {
  static LinkHolder holder;
  return *holder.link;
}

bool RigLink::releaseAtUnload() noexcept {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kUnloadGraceMs);
  bool ended = false;
  while (!(ended = !threads_.anyRunning()) && std::chrono::steady_clock::now() < deadline) {
    relayRunning_.store(0, std::memory_order_relaxed);
    networkRunning_.store(0, std::memory_order_relaxed);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  // A body that has left its loop still returns through a few instructions of
  // the library: give it that time before the code goes away.
  if (ended) std::this_thread::sleep_for(std::chrono::milliseconds(kReturnGraceMs));
  return ended;
}

int32_t RigLink::closeRigPort() {
  rigPort_.close();
  setPortOpen(false);
  return 1;
}

NetworkThreadScope::NetworkThreadScope(RigLinkState& link, LinkThread body)
    : link_(link), body_(body), entered_(link.threads_.enter(body)) {
  if (!entered_) return;
  claimed_ = DriverClaim::instance().acquire();
  if (claimed_) return;
  link_.threads_.leave(body_);
  entered_ = false;
}

void NetworkThreadScope::announceRunning() {
  if (!entered_) return;
  link_.networkRunning_.store(1, std::memory_order_relaxed);
  link_.networkStopped_.store(0, std::memory_order_relaxed);
  link_.mode().resume();
  link_.networkStarted_.store(1, std::memory_order_relaxed);
}

NetworkThreadScope::~NetworkThreadScope() {
  if (!entered_) return;
  link_.networkRunning_.store(0, std::memory_order_relaxed);
  link_.networkStopped_.store(1, std::memory_order_relaxed);
  DriverClaim::instance().release();
  link_.threads_.leave(body_);
}

}  // namespace portrelay
