// The current user's registry strings. POSIX has no registry: nothing is found.
#pragma once
#include <cstddef>
#include <map>
#include <optional>
#include <string>

namespace portrelay::platform {

// The string value `value` under HKEY_CURRENT_USER\`key`, read into a buffer of
// `capacity` bytes (a longer value counts as missing). Empty when the key or the
// value does not exist or is not a string.
std::optional<std::string> readUserRegistryString(const std::string& key, const std::string& value,
                                                  size_t capacity);

#ifdef PORTRELAY_TEST_SEAMS
// Test seam: while set, readUserRegistryString answers from these values
// (keyed by key + "\\" + value name) instead of the registry, with the same
// capacity rule. std::nullopt restores the registry.
void overrideUserRegistry(std::optional<std::map<std::string, std::string>> values);
#endif

}  // namespace portrelay::platform
