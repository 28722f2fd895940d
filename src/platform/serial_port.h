// Serial ports addressed by COM number, the COM device list and its USB ids.
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
#include <optional>
#include <string>
#include <vector>

namespace portrelay::platform {

// System error codes as the platform reports them (GetLastError / errno).
uint32_t lastSystemError();
void setLastSystemError(uint32_t code);
// The system's text for an error code (no line end), or an empty text.
std::wstring systemErrorText(uint32_t code);

extern const uint32_t kErrorInsufficientBuffer;  // ERROR_INSUFFICIENT_BUFFER / ENOBUFS
extern const uint32_t kErrorNoMoreItems;         // ERROR_NO_MORE_ITEMS / ENOENT
extern const uint32_t kErrorInvalidHandle;       // ERROR_INVALID_HANDLE / EBADF
extern const uint32_t kErrorTimeout;             // ERROR_TIMEOUT / ETIMEDOUT

enum class Parity : uint8_t { none = 0, odd = 1, even = 2, mark = 3, space = 4 };
enum class StopBits : uint8_t { one = 0, onePointFive = 1, two = 2 };

// The line fields the rig link sets; every other field of the driver's line
// state keeps its current value.
struct SerialLineSettings {
  uint32_t baudRate = 0;
  uint8_t dataBits = 8;
  Parity parity = Parity::none;
  StopBits stopBits = StopBits::one;
  bool ctsOutputFlow = false;
  bool dsrOutputFlow = false;
  bool dsrSensitivity = false;
  bool xonXoffOutput = false;
  bool xonXoffInput = false;
};

// Windows COMMTIMEOUTS semantics, in milliseconds. A read waits until all bytes
// arrived or multiplier * bytes + constant ms passed (0 and 0: no limit); an
// interval of 0xFFFFFFFF with both totals 0 returns what is waiting at once.
struct SerialTimeouts {
  uint32_t readInterval = 0;
  uint32_t readTotalMultiplier = 0;
  uint32_t readTotalConstant = 0;
  uint32_t writeTotalMultiplier = 0;
  uint32_t writeTotalConstant = 0;
};

struct SerialQueueStatus {
  uint32_t errors = 0;
  uint32_t bytesIn = 0;   // received, not yet read
  uint32_t bytesOut = 0;  // written, not yet sent
};

// Purge flags (PurgeComm values).
inline constexpr uint32_t kPurgeTxAbort = 0x1;
inline constexpr uint32_t kPurgeRxAbort = 0x2;
inline constexpr uint32_t kPurgeTxClear = 0x4;
inline constexpr uint32_t kPurgeRxClear = 0x8;

// One open serial port handle. Every operation returns false on failure and
// leaves the system error code for lastSystemError(). Not thread-safe: the
// owner serialises access.
class SerialPort {
 public:
  SerialPort() = default;
  ~SerialPort();
  SerialPort(const SerialPort&) = delete;
  SerialPort& operator=(const SerialPort&) = delete;

  // Opens COM port n for reading and writing, exclusively, existing devices
  // only, without overlapped I/O.
  bool open(int comNumber);
  // Opens a serial device by its device name, for example "COM7" (Windows:
  // "\\.\" + name; POSIX: the node of that COM number), like open(int).
  bool openDevice(const std::string& deviceName);
  void close();
  bool isOpen() const;

  bool readLineSettings(SerialLineSettings& settings);
  // Reads the driver's line state, changes the fields above and writes it back.
  bool applyLineSettings(const SerialLineSettings& settings);
  bool readTimeouts(SerialTimeouts& timeouts);
  bool writeTimeouts(const SerialTimeouts& timeouts);
  // Driver queue sizes (a request; Linux keeps its fixed tty buffers).
  bool setQueueSizes(uint32_t inBytes, uint32_t outBytes);
  bool purge(uint32_t flags);
  // Clears the error state; reports the line errors and the queue status.
  // Fails when the device has gone (unplugged, or the far end of a pty closed).
  bool clearError(SerialQueueStatus* status);
  // Modem input lines (CTS, DSR, RING, RLSD bits as GetCommModemStatus). A port
  // without modem lines (a pseudo-terminal, some virtual ports) reports none.
  bool modemStatus(uint32_t& status);
  // Reads up to size bytes within the read time-outs; got may be short.
  bool read(void* buffer, uint32_t size, uint32_t& got);
  bool write(const void* data, uint32_t size, uint32_t& written);

 private:
  intptr_t handle_ = -1;
  SerialTimeouts timeouts_;  // POSIX keeps them here: termios has no time-outs of this kind
};

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
  std::vector<ComDeviceInfo> devices_;       // Linux, or the test seam
  bool simulated_ = false;
};

// ---- Test seam ----
// A COM port that a test provides: its number, the device node that stands for
// it (POSIX; on Windows the system's COM mapping applies, under Wine
// HKLM\Software\Wine\Ports) and the device information the USB-id check sees.
struct SimulatedComPort {
  int number = 0;
  std::string devicePath;
  std::string friendlyName;
  std::vector<std::string> hardwareIds;
};

// While set, the COM device information lists exactly these ports, and on
// POSIX the COM numbering (names, existence, open) does too. std::nullopt
// restores the system's view.
void overrideComPorts(std::optional<std::vector<SimulatedComPort>> ports);
std::optional<std::vector<SimulatedComPort>> comPortOverride();

}  // namespace portrelay::platform
