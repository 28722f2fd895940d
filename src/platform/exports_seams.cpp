// The COM-port test seam, exported for the demo host (see seam_exports.h).
#include "platform/seam_exports.h"

#include <mutex>

#include "platform/services.h"

namespace portrelay::platform {
namespace {

// The ports the demo host added, over the services that were in force when it
// added the first; the rest is answered by those. Lives until the library is
// unloaded (or the process ends), and then takes itself out of force.
class HostComPorts final : public Services {
 public:
  HostComPorts() = default;
  ~HostComPorts() { clear(); }

  std::optional<std::vector<SimulatedComPort>> comPorts() const override {
    std::lock_guard lock(mutex_);
    return ports_;
  }
  AdapterQuery networkAdapters() const override { return base().networkAdapters(); }
  std::optional<std::string> userRegistryString(const std::string& key, const std::string& value,
                                                size_t capacity) const override {
    return base().userRegistryString(key, value, capacity);
  }
  std::string documentsFolder() const override { return base().documentsFolder(); }
  std::optional<uint32_t> processScope() const override { return base().processScope(); }
  std::string objectNamespace() const override { return base().objectNamespace(); }

  void add(SimulatedComPort port) {
    std::lock_guard lock(mutex_);
    if (!inForce_) {
      base_ = &putServicesInForce(*this);
      inForce_ = true;
    }
    ports_.push_back(std::move(port));
  }

  void clear() {
    std::lock_guard lock(mutex_);
    if (!inForce_) return;
    putServicesInForce(*base_);
    inForce_ = false;
    ports_.clear();
  }

 private:
  const Services& base() const {
    std::lock_guard lock(mutex_);
    return *base_;
  }

  mutable std::mutex mutex_;
  const Services* base_ = &systemServices();
  bool inForce_ = false;
  std::vector<SimulatedComPort> ports_;
};

HostComPorts& hostComPorts() {
  static HostComPorts ports;
  return ports;
}

}  // namespace
}  // namespace portrelay::platform

extern "C" int32_t portrelaySeam_addComPort(int32_t number, const char* devicePath, const char* friendlyName,
                                            const char* hardwareId) {
  try {
    if (number < 1 || number > 255 || devicePath == nullptr || friendlyName == nullptr || hardwareId == nullptr)
      return 0;
    portrelay::platform::SimulatedComPort port{number, devicePath, friendlyName, {}};
    if (*hardwareId != '\0') port.hardwareIds.emplace_back(hardwareId);
    portrelay::platform::hostComPorts().add(std::move(port));
    return 1;
  } catch (...) {
    return 0;
  }
}

extern "C" void portrelaySeam_clearComPorts(void) {
  try {
    portrelay::platform::hostComPorts().clear();
  } catch (...) {
  }
}
