// The serial ports as the rig link sees them, through the C ABI: the COM
// numbers of its enumeration with each port's device information and whether
// the USB id is one a rig controller uses. Catches every exception: nothing
// may unwind into the host.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "platform/com_devices.h"
#include "portrelay/portrelay.h"
#include "riglink/port_discovery.h"

namespace portrelay {
namespace {

constexpr uint32_t kLastDeviceIndex = 5999;

void copyOut(const std::string& text, char* buffer, int32_t size) {
  if (buffer == nullptr || size <= 0) return;
  const size_t length = std::min(text.size(), static_cast<size_t>(size) - 1);
  std::memcpy(buffer, text.data(), length);
  buffer[length] = '\0';
}

// Whether a friendly name names COM port n: "COMn" not followed by a digit,
// so COM1 does not take the device of COM12.
bool namesPort(const std::string& friendlyName, unsigned number) {
  const std::string name = "COM" + std::to_string(number);
  for (size_t at = friendlyName.find(name); at != std::string::npos; at = friendlyName.find(name, at + 1)) {
    const size_t after = at + name.size();
    if (after == friendlyName.size() || friendlyName[after] < '0' || friendlyName[after] > '9') return true;
  }
  return false;
}

int32_t portInfo(int32_t index, int32_t* comNumber, char* friendlyName, int32_t friendlyNameSize,
                 char* hardwareIds, int32_t hardwareIdsSize, uint8_t* rigController) {
  std::vector<unsigned> ports;
  if (!CEnumerateSerial::UsingQueryDosDevice(ports)) return -1;
  if (index < 0 || static_cast<size_t>(index) >= ports.size()) return 0;
  const unsigned number = ports[static_cast<size_t>(index)];

  platform::ComDeviceInfo found;
  platform::ComDeviceSet devices;
  for (uint32_t at = 0; devices.valid() && at <= kLastDeviceIndex; ++at) {
    platform::ComDeviceInfo info;
    const platform::DeviceQuery query = devices.device(at, info);
    if (query == platform::DeviceQuery::noMoreItems) break;
    if (query == platform::DeviceQuery::failed || !namesPort(info.friendlyName, number)) continue;
    found = std::move(info);
    break;
  }
  std::string ids;
  for (const std::string& id : found.hardwareIds) ids += (ids.empty() ? "" : ";") + id;

  if (comNumber != nullptr) *comNumber = static_cast<int32_t>(number);
  copyOut(found.friendlyName, friendlyName, friendlyNameSize);
  copyOut(ids, hardwareIds, hardwareIdsSize);
  if (rigController != nullptr) *rigController = hasAcceptedUsbId(found.hardwareIds) ? 1 : 0;
  return 1;
}

}  // namespace
}  // namespace portrelay

extern "C" {

int32_t getSerialPortInfo(int32_t index, int32_t* comNumber, char* friendlyName, int32_t friendlyNameSize,
                          char* hardwareIds, int32_t hardwareIdsSize, uint8_t* rigController) {
  try {
    return portrelay::portInfo(index, comNumber, friendlyName, friendlyNameSize, hardwareIds, hardwareIdsSize,
                               rigController);
  } catch (...) {
    return -1;
  }
}

}  // extern "C"
