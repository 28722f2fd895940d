#include "platform/registry.h"

#include <windows.h>

#include <vector>

namespace portrelay::platform {

std::optional<std::string> systemUserRegistryString(const std::string& key, const std::string& value,
                                                  size_t capacity) {
  HKEY opened = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, KEY_QUERY_VALUE, &opened) != ERROR_SUCCESS)
    return std::nullopt;
  std::vector<char> buffer(capacity + 1, '\0');
  DWORD type = 0;
  DWORD size = static_cast<DWORD>(capacity);
  const LONG result =
      RegQueryValueExA(opened, value.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &size);
  RegCloseKey(opened);
  if (result != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return std::nullopt;
  buffer[size < capacity ? size : capacity] = '\0';
  return std::string(buffer.data());
}

}  // namespace portrelay::platform
