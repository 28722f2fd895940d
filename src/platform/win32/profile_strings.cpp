#include "platform/profile_strings.h"

#include <windows.h>

#include <cstring>
#include <vector>

namespace portrelay::platform {

bool profileSectionExists(const std::string& path, const std::string& section) {
  std::vector<char> names(32768, '\0');
  const DWORD n = GetPrivateProfileSectionNamesA(names.data(), static_cast<DWORD>(names.size()), path.c_str());
  for (size_t at = 0; at < n && names[at] != '\0'; at += std::strlen(&names[at]) + 1)
    if (lstrcmpiA(&names[at], section.c_str()) == 0) return true;
  return false;
}

std::string readProfileString(const std::string& path, const std::string& section, const std::string& key,
                              const std::string& fallback) {
  char value[256] = {};
  GetPrivateProfileStringA(section.c_str(), key.c_str(), fallback.c_str(), value, sizeof value, path.c_str());
  return value;
}

}  // namespace portrelay::platform
