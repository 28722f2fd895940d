#include "platform/registry.h"

#include <mutex>

namespace portrelay::platform {

// implemented per OS
std::optional<std::string> systemUserRegistryString(const std::string& key, const std::string& value,
                                                    size_t capacity);

#ifdef PORTRELAY_TEST_SEAMS
namespace {
std::mutex overrideMutex;
std::optional<std::map<std::string, std::string>> registryOverride;
}  // namespace

void overrideUserRegistry(std::optional<std::map<std::string, std::string>> values) {
  std::lock_guard lock(overrideMutex);
  registryOverride = std::move(values);
}

std::optional<std::string> readUserRegistryString(const std::string& key, const std::string& value,
                                                  size_t capacity) {
  {
    std::lock_guard lock(overrideMutex);
    if (registryOverride) {
      const auto found = registryOverride->find(key + "\\" + value);
      if (found == registryOverride->end() || found->second.size() >= capacity) return std::nullopt;
      return found->second;
    }
  }
  return systemUserRegistryString(key, value, capacity);
}
#else
// The shipped library has no seam.
std::optional<std::string> readUserRegistryString(const std::string& key, const std::string& value,
                                                  size_t capacity) {
  return systemUserRegistryString(key, value, capacity);
}
#endif

}  // namespace portrelay::platform
