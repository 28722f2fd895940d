#include "platform/serial_port.h"

#include <windows.h>
#include <setupapi.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <string>

namespace portrelay::platform {

const uint32_t kErrorInsufficientBuffer = ERROR_INSUFFICIENT_BUFFER;
const uint32_t kErrorNoMoreItems = ERROR_NO_MORE_ITEMS;
const uint32_t kErrorInvalidHandle = ERROR_INVALID_HANDLE;
const uint32_t kErrorTimeout = ERROR_TIMEOUT;

uint32_t lastSystemError() { return GetLastError(); }
void setLastSystemError(uint32_t code) { SetLastError(code); }

std::wstring systemErrorText(uint32_t code) {
  wchar_t buffer[512];
  const DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                                      MAKELANGID(LANG_NEUTRAL, SUBLANG_SYS_DEFAULT), buffer, 512, nullptr);
  std::wstring text(buffer, length);
  while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r')) text.pop_back();
  return text;
}

namespace {

HANDLE handleOf(intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }
const intptr_t kInvalid = reinterpret_cast<intptr_t>(INVALID_HANDLE_VALUE);

}  // namespace

SerialPort::~SerialPort() { close(); }

bool SerialPort::open(int comNumber) {
  close();
  const std::wstring path = L"\\\\.\\COM" + std::to_wstring(comNumber);
  HANDLE h = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  handle_ = reinterpret_cast<intptr_t>(h);
  return true;
}

bool SerialPort::openDevice(const std::string& deviceName) {
  close();
  const std::string path = "\\\\.\\" + deviceName;
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  handle_ = reinterpret_cast<intptr_t>(h);
  return true;
}

void SerialPort::close() {
  if (!isOpen()) return;
  const DWORD error = GetLastError();
  CloseHandle(handleOf(handle_));
  handle_ = kInvalid;
  SetLastError(error);
}

bool SerialPort::isOpen() const { return handle_ != kInvalid && handle_ != -1 && handle_ != 0; }

bool SerialPort::readLineSettings(SerialLineSettings& settings) {
  if (!isOpen()) return SetLastError(ERROR_INVALID_HANDLE), false;
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (!GetCommState(handleOf(handle_), &dcb)) return false;
  settings.baudRate = dcb.BaudRate;
  settings.dataBits = dcb.ByteSize;
  settings.parity = static_cast<Parity>(dcb.Parity);
  settings.stopBits = static_cast<StopBits>(dcb.StopBits);
  settings.ctsOutputFlow = dcb.fOutxCtsFlow != 0;
  settings.dsrOutputFlow = dcb.fOutxDsrFlow != 0;
  settings.dsrSensitivity = dcb.fDsrSensitivity != 0;
  settings.xonXoffOutput = dcb.fOutX != 0;
  settings.xonXoffInput = dcb.fInX != 0;
  return true;
}

bool SerialPort::applyLineSettings(const SerialLineSettings& settings) {
  if (!isOpen()) return SetLastError(ERROR_INVALID_HANDLE), false;
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (!GetCommState(handleOf(handle_), &dcb)) return false;
  dcb.BaudRate = settings.baudRate;
  dcb.ByteSize = settings.dataBits;
  dcb.Parity = static_cast<BYTE>(settings.parity);
  dcb.StopBits = static_cast<BYTE>(settings.stopBits);
  dcb.fOutxCtsFlow = settings.ctsOutputFlow;
  dcb.fOutxDsrFlow = settings.dsrOutputFlow;
  dcb.fDsrSensitivity = settings.dsrSensitivity;
  dcb.fOutX = settings.xonXoffOutput;
  dcb.fInX = settings.xonXoffInput;
  return SetCommState(handleOf(handle_), &dcb) != 0;
}

bool SerialPort::readTimeouts(SerialTimeouts& timeouts) {
  if (!isOpen()) return SetLastError(ERROR_INVALID_HANDLE), false;
  COMMTIMEOUTS t{};
  if (!GetCommTimeouts(handleOf(handle_), &t)) return false;
  timeouts = {t.ReadIntervalTimeout, t.ReadTotalTimeoutMultiplier, t.ReadTotalTimeoutConstant,
              t.WriteTotalTimeoutMultiplier, t.WriteTotalTimeoutConstant};
  return true;
}

bool SerialPort::writeTimeouts(const SerialTimeouts& timeouts) {
  if (!isOpen()) return SetLastError(ERROR_INVALID_HANDLE), false;
  COMMTIMEOUTS t{timeouts.readInterval, timeouts.readTotalMultiplier, timeouts.readTotalConstant,
                 timeouts.writeTotalMultiplier, timeouts.writeTotalConstant};
  return SetCommTimeouts(handleOf(handle_), &t) != 0;
}

bool SerialPort::setQueueSizes(uint32_t inBytes, uint32_t outBytes) {
  if (!isOpen()) return SetLastError(ERROR_INVALID_HANDLE), false;
  return SetupComm(handleOf(handle_), inBytes, outBytes) != 0;
}

bool SerialPort::purge(uint32_t flags) {
  if (!isOpen()) return SetLastError(ERROR_INVALID_HANDLE), false;
  return PurgeComm(handleOf(handle_), flags) != 0;
}

bool SerialPort::clearError(SerialQueueStatus* status) {
  if (!isOpen()) return SetLastError(ERROR_INVALID_HANDLE), false;
  DWORD errors = 0;
  COMSTAT comstat{};
  if (!ClearCommError(handleOf(handle_), &errors, &comstat)) return false;
  if (status != nullptr) *status = {errors, comstat.cbInQue, comstat.cbOutQue};
  return true;
}

bool SerialPort::modemStatus(uint32_t& status) {
  if (!isOpen()) return SetLastError(ERROR_INVALID_HANDLE), false;
  DWORD lines = 0;
  status = 0;
  if (!GetCommModemStatus(handleOf(handle_), &lines)) return GetLastError() == ERROR_NOT_SUPPORTED;  // no modem lines
  status = lines;
  return true;
}

bool SerialPort::read(void* buffer, uint32_t size, uint32_t& got) {
  got = 0;
  if (!isOpen()) return SetLastError(ERROR_INVALID_HANDLE), false;
  DWORD n = 0;
  if (!ReadFile(handleOf(handle_), buffer, size, &n, nullptr)) return false;
  got = n;
  return true;
}

bool SerialPort::write(const void* data, uint32_t size, uint32_t& written) {
  written = 0;
  if (!isOpen()) return SetLastError(ERROR_INVALID_HANDLE), false;
  DWORD n = 0;
  if (!WriteFile(handleOf(handle_), data, size, &n, nullptr)) return false;
  written = n;
  return true;
}

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
  if (auto ports = comPortOverride()) {
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
