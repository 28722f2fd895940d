#include "platform/registry.h"

namespace portrelay::platform {

std::optional<std::string> systemUserRegistryString(const std::string&, const std::string&, size_t) {
  return std::nullopt;
}

}  // namespace portrelay::platform
