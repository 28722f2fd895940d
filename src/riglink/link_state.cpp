#include "riglink/link_state.h"

namespace portrelay {

RigLink& RigLink::instance() {
  static RigLink link;
  return link;
}

int32_t RigLink::closeRigPort() {
  rigPort.close();
  portOpen.store(0, std::memory_order_relaxed);
  return 1;
}

NetworkThreadScope::NetworkThreadScope(RigLinkState& link) : link_(link) {
  link_.networkThreadsActive.fetch_add(1, std::memory_order_relaxed);
}

void NetworkThreadScope::announceRunning() {
  link_.networkRunning.store(1, std::memory_order_relaxed);
  link_.networkStopped.store(0, std::memory_order_relaxed);
  link_.mode().resume();
  link_.networkStarted.store(1, std::memory_order_relaxed);
}

NetworkThreadScope::~NetworkThreadScope() {
  link_.networkRunning.store(0, std::memory_order_relaxed);
  link_.networkStopped.store(1, std::memory_order_relaxed);
  link_.networkThreadsActive.fetch_sub(1, std::memory_order_release);
}

}  // namespace portrelay
