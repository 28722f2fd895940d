#include <cctype>

#include "platform/com_devices.h"

namespace portrelay::platform {

int comNumberOfName(const std::string& deviceName) {
  if (deviceName.size() < 4 || deviceName.size() > 6) return 0;
  for (size_t i = 0; i < 3; ++i)
    if (std::toupper(static_cast<unsigned char>(deviceName[i])) != "COM"[i]) return 0;
  int number = 0;
  for (size_t i = 3; i < deviceName.size(); ++i) {
    if (deviceName[i] < '0' || deviceName[i] > '9') return 0;
    number = number * 10 + (deviceName[i] - '0');
  }
  return number;
}

}  // namespace portrelay::platform
