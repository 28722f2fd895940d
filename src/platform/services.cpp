#include "platform/services.h"

#include <atomic>

#include "platform/paths.h"
#include "platform/registry.h"

namespace portrelay::platform {

// implemented per OS
AdapterQuery systemNetworkAdapters();
std::optional<std::string> systemUserRegistryString(const std::string& key, const std::string& value,
                                                    size_t capacity);
std::string systemDocumentsFolder();

namespace {

class SystemServices final : public Services {
 public:
  constexpr SystemServices() = default;

  std::optional<std::vector<SimulatedComPort>> comPorts() const override { return std::nullopt; }
  AdapterQuery networkAdapters() const override { return systemNetworkAdapters(); }
  std::optional<std::string> userRegistryString(const std::string& key, const std::string& value,
                                                size_t capacity) const override {
    return systemUserRegistryString(key, value, capacity);
  }
  std::string documentsFolder() const override { return systemDocumentsFolder(); }
  std::optional<uint32_t> processScope() const override { return std::nullopt; }
  std::string objectNamespace() const override { return {}; }
};

// Constant-initialised and trivially destructible: usable before main and
// during exit alike.
constinit const SystemServices systemObject;

#ifdef PORTRELAY_TEST_SEAMS
constinit std::atomic<const Services*> inForce{&systemObject};
#endif

}  // namespace

const Services& systemServices() noexcept { return systemObject; }

#ifdef PORTRELAY_TEST_SEAMS
const Services& services() noexcept { return *inForce.load(std::memory_order_acquire); }

const Services& putServicesInForce(const Services& replacement) noexcept {
  return *inForce.exchange(&replacement, std::memory_order_acq_rel);
}
#else
const Services& services() noexcept { return systemObject; }
#endif

AdapterQuery queryNetworkAdapters() { return services().networkAdapters(); }

std::optional<std::string> readUserRegistryString(const std::string& key, const std::string& value,
                                                  size_t capacity) {
  return services().userRegistryString(key, value, capacity);
}

std::string documentsFolder() { return services().documentsFolder(); }

}  // namespace portrelay::platform
