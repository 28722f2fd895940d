#include <mutex>

#include "platform/com_devices.h"

// The COM-port seam exists in the test variant alone.
#ifdef PORTRELAY_TEST_SEAMS
namespace portrelay::platform {
namespace {
std::mutex overrideMutex;
std::optional<std::vector<SimulatedComPort>> portsOverride;
}  // namespace

void overrideComPorts(std::optional<std::vector<SimulatedComPort>> ports) {
  std::lock_guard lock(overrideMutex);
  portsOverride = std::move(ports);
}

std::optional<std::vector<SimulatedComPort>> comPortOverride() {
  std::lock_guard lock(overrideMutex);
  return portsOverride;
}

}  // namespace portrelay::platform
#endif
