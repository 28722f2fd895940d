#include <mutex>

#include "platform/com_devices.h"

namespace portrelay::platform {
namespace {
std::mutex overrideMutex;
std::optional<std::vector<SimulatedComPort>> portsOverride;
}  // namespace

#ifdef PORTRELAY_TEST_SEAMS
void overrideComPorts(std::optional<std::vector<SimulatedComPort>> ports) {
  std::lock_guard lock(overrideMutex);
  portsOverride = std::move(ports);
}
#endif

std::optional<std::vector<SimulatedComPort>> comPortOverride() {
  std::lock_guard lock(overrideMutex);
  return portsOverride;
}

}  // namespace portrelay::platform
