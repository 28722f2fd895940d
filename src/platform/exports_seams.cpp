// The COM-port test seam, exported for the demo host (see seam_exports.h).
#include "platform/seam_exports.h"

#include "platform/com_devices.h"

extern "C" int32_t portrelaySeam_addComPort(int32_t number, const char* devicePath, const char* friendlyName,
                                            const char* hardwareId) {
  try {
    if (number < 1 || number > 255 || devicePath == nullptr || friendlyName == nullptr || hardwareId == nullptr)
      return 0;
    namespace platform = portrelay::platform;
    std::vector<platform::SimulatedComPort> ports = platform::comPortOverride().value_or(
        std::vector<platform::SimulatedComPort>{});
    platform::SimulatedComPort port{number, devicePath, friendlyName, {}};
    if (*hardwareId != '\0') port.hardwareIds.emplace_back(hardwareId);
    ports.push_back(std::move(port));
    platform::overrideComPorts(std::move(ports));
    return 1;
  } catch (...) {
    return 0;
  }
}

extern "C" void portrelaySeam_clearComPorts(void) {
  try {
    portrelay::platform::overrideComPorts(std::nullopt);
  } catch (...) {
  }
}
