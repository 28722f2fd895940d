#include "platform/serial_port.h"

#include <windows.h>

#include <string>

namespace portrelay::platform {

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

}  // namespace portrelay::platform
