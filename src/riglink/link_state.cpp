#include "riglink/link_state.h"

namespace portrelay {

RigLinkState& rigLink() {
  static RigLinkState state;
  return state;
}

NetworkThreadScope::NetworkThreadScope(RigLinkState& link) : link_(link) {
  link_.networkThreadsActive.fetch_add(1, std::memory_order_relaxed);
}

void NetworkThreadScope::announceRunning() {
  RigLinkState& link = link_;
  link.networkRunning.store(1, std::memory_order_relaxed);
  link.networkStopped.store(0, std::memory_order_relaxed);
  link.interfaceRunning.store(1, std::memory_order_relaxed);
  link.networkStarted.store(1, std::memory_order_relaxed);
}

NetworkThreadScope::~NetworkThreadScope() {
  RigLinkState& link = link_;
  link.networkRunning.store(0, std::memory_order_relaxed);
  link.networkStopped.store(1, std::memory_order_relaxed);
  link.networkThreadsActive.fetch_sub(1, std::memory_order_release);
}

int32_t closeRigPort() {
  RigLinkState& link = rigLink();
  link.rigPort.close();
  link.portOpen.store(0, std::memory_order_relaxed);
  return 1;
}

}  // namespace portrelay
