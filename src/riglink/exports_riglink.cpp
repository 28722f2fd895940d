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
    return link.threads.runningMask() | (link.threads.stopPendingMask() << 3);
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
    link.autoconnect.store(1, std::memory_order_relaxed);
    return int32_t{1};
  });
}

int32_t disableAutoconnect(void) {
  return guarded(int32_t{1}, [](portrelay::RigLink& link) {
    link.autoconnect.store(0, std::memory_order_relaxed);
    return int32_t{1};
  });
}

int32_t setStandartPort(const char* port) {
  return guarded(int32_t{0}, [&](portrelay::RigLink& link) { return link.setStandardPort(port); });
}

double getOutputTimeFrame(void) {
  return guarded(0.0, [](portrelay::RigLink& link) { return link.relayCycleTimer.lastIntervalMs(); });
}

}  // extern "C"
