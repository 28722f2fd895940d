// The COM-port list: which ports exist, the device names, and the present
// devices of the COM-port class with their friendly names and USB ids.
//
// Windows: COM port n is the device "\\.\COMn"; the names come from
// QueryDosDeviceW and the device information from SetupAPI.
//
// Linux has no COM numbers, so this layer gives the serial device nodes fixed
// ones:
//   COM1  .. COM32  <->  /dev/ttyS0   .. /dev/ttyS31   (on-board UARTs)
//   COM33 .. COM64  <->  /dev/ttyUSB0 .. /dev/ttyUSB31 (USB serial adapters)
//   COM65 .. COM96  <->  /dev/ttyACM0 .. /dev/ttyACM31 (USB CDC-ACM boards)
// A port is listed when it exists as hardware: its node exists,
// /sys/class/tty/<node>/device exists, and a serial-core port (one with a
// `type` attribute there) reports a UART type other than 0 (unknown), so the
// placeholder 8250 ports without a UART are left out. Its friendly name is the
// USB product string (or the node name) followed by " (COMn)", and its hardware
// ids are "USB\VID_xxxx&PID_yyyy&REV_zzzz" and "USB\VID_xxxx&PID_yyyy" from the
// USB device above the node in sysfs, in upper-case hexadecimal.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/system_error.h"

namespace portrelay::platform {

// Checks that COM port n exists: its default configuration can be read, or
// (when the serial provider cannot answer for it) its device name is defined.
bool comPortExists(int comNumber);

// Whether a device of that name is defined (QueryDosDevice with a 256-character
// result; POSIX: a "COMn" name whose device node exists).
bool deviceNameExists(const std::string& deviceName);

// All device names of the system as a list of NUL-terminated names ending in
// an empty name (QueryDosDeviceW with no device). Returns the characters
// stored, or 0 with kErrorInsufficientBuffer when the buffer is too small.
uint32_t queryDeviceNames(wchar_t* buffer, uint32_t capacity);

// COM number of a "COMn" device name (letters in any case), 0 for other names.
int comNumberOfName(const std::string& deviceName);

struct ComDeviceInfo {
  std::string friendlyName;
  std::vector<std::string> hardwareIds;
};

enum class DeviceQuery : uint8_t { found, noMoreItems, failed };

// The present devices of the COM-port interface class, by member index.
class ComDeviceSet {
 public:
  ComDeviceSet();
  ~ComDeviceSet();
  ComDeviceSet(const ComDeviceSet&) = delete;
  ComDeviceSet& operator=(const ComDeviceSet&) = delete;

  bool valid() const;
  // Friendly name and hardware ids (each read into at most 1024 bytes).
  DeviceQuery device(uint32_t index, ComDeviceInfo& info);

 private:
  [[maybe_unused]] void* handle_ = nullptr;  // the SetupAPI device set (Windows)
  std::vector<ComDeviceInfo> devices_;       // Linux, or the simulated ports
  bool simulated_ = false;
};

// A COM port that stands for one of the system's (see Services::comPorts): its
// number, the device node behind it (POSIX; on Windows the system's COM mapping
// applies, under Wine HKLM\Software\Wine\Ports) and the device information
// the USB-id check sees.
struct SimulatedComPort {
  int number = 0;
  std::string devicePath;
  std::string friendlyName;
  std::vector<std::string> hardwareIds;
};

}  // namespace portrelay::platform
