// The COM-port list on Windows: device names and the SetupAPI COM-port class.
#include "platform/com_devices.h"
#include "platform/services.h"

#include <windows.h>
#include <setupapi.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <string>

namespace portrelay::platform {

bool comPortExists(int comNumber) {
  const std::wstring name = L"COM" + std::to_wstring(comNumber);
  COMMCONFIG config{};
  DWORD size = sizeof config;
  if (GetDefaultCommConfigW(name.c_str(), &config, &size)) return true;
  const DWORD error = GetLastError();
  // Some serial providers cannot describe every port (Wine's, for ports it
  // maps to pseudo-terminals); a defined device name still shows it exists.
  wchar_t target[512];
  if (QueryDosDeviceW(name.c_str(), target, 512) != 0) return true;
  SetLastError(error);
  return false;
}

bool deviceNameExists(const std::string& deviceName) {
  char target[256];
  return QueryDosDeviceA(deviceName.c_str(), target, sizeof target) != 0;
}

uint32_t queryDeviceNames(wchar_t* buffer, uint32_t capacity) { return QueryDosDeviceW(nullptr, buffer, capacity); }

namespace {

// {86E0D1E0-8089-11D0-9CE4-08003E301F73}: the COM-port device interface class.
const GUID kComPortInterface = {0x86E0D1E0, 0x8089, 0x11D0, {0x9C, 0xE4, 0x08, 0x00, 0x3E, 0x30, 0x1F, 0x73}};
constexpr DWORD kPropertyBytes = 1024;

}  // namespace

ComDeviceSet::ComDeviceSet() {
  if (auto ports = services().comPorts()) {
    simulated_ = true;
    for (const SimulatedComPort& port : *ports) devices_.push_back({port.friendlyName, port.hardwareIds});
    return;
  }
  HDEVINFO set = SetupDiGetClassDevsA(&kComPortInterface, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  handle_ = set == INVALID_HANDLE_VALUE ? nullptr : set;
}

ComDeviceSet::~ComDeviceSet() {
  if (handle_ != nullptr) SetupDiDestroyDeviceInfoList(handle_);
}

bool ComDeviceSet::valid() const { return simulated_ || handle_ != nullptr; }

DeviceQuery ComDeviceSet::device(uint32_t index, ComDeviceInfo& info) {
  if (simulated_) {
    if (index >= devices_.size()) {
      SetLastError(ERROR_NO_MORE_ITEMS);
      return DeviceQuery::noMoreItems;
    }
    info = devices_[index];
    return DeviceQuery::found;
  }
  SP_DEVINFO_DATA data{};
  data.cbSize = sizeof data;
  if (!SetupDiEnumDeviceInfo(handle_, index, &data))
    return GetLastError() == ERROR_NO_MORE_ITEMS ? DeviceQuery::noMoreItems : DeviceQuery::failed;
  char buffer[kPropertyBytes + 2] = {};
  DWORD type = 0;
  info = ComDeviceInfo{};
  if (SetupDiGetDeviceRegistryPropertyA(handle_, &data, SPDRP_FRIENDLYNAME, &type, reinterpret_cast<BYTE*>(buffer),
                                        kPropertyBytes, nullptr))
    info.friendlyName = buffer;
  std::fill(std::begin(buffer), std::end(buffer), '\0');
  if (SetupDiGetDeviceRegistryPropertyA(handle_, &data, SPDRP_HARDWAREID, &type, reinterpret_cast<BYTE*>(buffer),
                                        kPropertyBytes, nullptr)) {
    // A list of NUL-terminated strings ending in an empty one.
    for (const char* id = buffer; *id != '\0' && id < buffer + kPropertyBytes; id += std::strlen(id) + 1)
      info.hardwareIds.emplace_back(id);
  }
  return DeviceQuery::found;
}

}  // namespace portrelay::platform
