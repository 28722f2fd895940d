// The rig link's C ABI. Every export catches every exception: nothing may
// unwind into the host.
#include "common/cycle_timer.h"
#include "portrelay/portrelay.h"
#include "riglink/link_state.h"

namespace {

template <typename Result, typename Body>
Result guarded(Result onFailure, Body&& body) noexcept {
  try {
    return body(portrelay::RigLink::instance());
  } catch (...) {
    return onFailure;
  }
}

}  // namespace

extern "C" {

int32_t startPortRelay_Thread(void) {
  return guarded(int32_t{1}, [](portrelay::RigLink& link) { return link.runRelay(); });
}

int32_t getPortRelayThreads(void) {
  return guarded(int32_t{0}, [](portrelay::RigLink& link) {
    return link.threads().runningMask() | (link.threads().stopPendingMask() << 3);
  });
}

void stopPortRelay_Thread(void) {
  guarded(0, [](portrelay::RigLink& link) {
    link.stopRelay();
    return 0;
  });
}

int32_t sendMessagemmf(const uint8_t* message) {
  return guarded(int32_t{-1}, [&](portrelay::RigLink& link) { return link.sendMessage(message); });
}

int32_t autoMessagemmf(const uint8_t* message) {
  return guarded(int32_t{0}, [&](portrelay::RigLink& link) { return link.autoMessage(message); });
}

int32_t readMessagemmf(uint8_t* destination) {
  return guarded(int32_t{0}, [&](portrelay::RigLink& link) { return link.readMessage(destination); });
}

int32_t newMessagemmf(void) {
  return guarded(int32_t{0}, [](portrelay::RigLink& link) { return link.newMessage(); });
}

int32_t isConnected(void) {
  return guarded(int32_t{0}, [](portrelay::RigLink& link) { return link.isConnected(); });
}

int32_t isInterfaceRunning(void) {
  return guarded(int32_t{0}, [](portrelay::RigLink& link) {
    return link.mode().paused() ? int32_t{0} : int32_t{1};
  });
}

int32_t pauseInterface(void) {
  return guarded(int32_t{1}, [](portrelay::RigLink& link) { return link.pauseInterface(); });
}

int32_t resumeInterface(void) {
  return guarded(int32_t{0}, [](portrelay::RigLink& link) { return link.resumeInterface(); });
}

int32_t enableAutoconnect(void) {
  return guarded(int32_t{1}, [](portrelay::RigLink& link) {
    link.setAutoconnect(1);
    return int32_t{1};
  });
}

int32_t disableAutoconnect(void) {
  return guarded(int32_t{1}, [](portrelay::RigLink& link) {
    link.setAutoconnect(0);
    return int32_t{1};
  });
}

int32_t setStandartPort(const char* port) {
  return guarded(int32_t{0}, [&](portrelay::RigLink& link) { return link.setStandardPort(port); });
}

int32_t getRigLinkStatus(int32_t* comNumber, int32_t* identity, int32_t* level, int32_t* linksLost,
                         int32_t* framesDropped) {
  const auto store = [](int32_t* out, int32_t value) {
    if (out != nullptr) *out = value;
  };
  try {
    const portrelay::RigLink& link = portrelay::RigLink::instance();
    const portrelay::RigFacts& facts = link.facts();
    store(comNumber, facts.comNumber.load(std::memory_order_relaxed));
    store(identity, facts.identity.load(std::memory_order_relaxed));
    store(level, facts.level.load(std::memory_order_relaxed));
    store(linksLost, facts.linksLost.load(std::memory_order_relaxed));
    store(framesDropped, facts.framesDropped.load(std::memory_order_relaxed));
    return static_cast<int32_t>(link.mode().transport());
  } catch (...) {
    for (int32_t* out : {comNumber, identity, linksLost, framesDropped}) store(out, 0);
    store(level, -1);
    return 0;
  }
}

double getOutputTimeFrame(void) {
  return guarded(0.0, [](portrelay::RigLink& link) { return link.relayCycleTimer().lastIntervalMs(); });
}

}  // extern "C"
