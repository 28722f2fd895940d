// The current user's registry strings. POSIX has no registry: nothing is found.
#pragma once
#include <cstddef>
#include <optional>
#include <string>

namespace portrelay::platform {

// The string value `value` under HKEY_CURRENT_USER\`key`, read into a buffer of
// `capacity` bytes (a longer value counts as missing). Empty when the key or the
// value does not exist or is not a string. Asks the services in force
// (platform/services.h).
std::optional<std::string> readUserRegistryString(const std::string& key, const std::string& value,
                                                  size_t capacity);

}  // namespace portrelay::platform
