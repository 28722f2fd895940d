// A serial device: the small interface the rig link and its tests talk to.
// The platform's backend (a COM handle on Windows, a tty node on POSIX) comes
// from createSerialDevice(); tests put a scripted fake behind the same
// interface. Every operation returns false on failure and leaves the system
// error code for lastSystemError(). Not thread-safe: the owner serialises access.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "platform/system_error.h"

namespace portrelay::platform {

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
// A write likewise; when its time runs out it reports fewer bytes written.
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

class SerialDevice {
 public:
  SerialDevice() = default;
  virtual ~SerialDevice() = default;
  SerialDevice(const SerialDevice&) = delete;
  SerialDevice& operator=(const SerialDevice&) = delete;

  // Opens COM port n for reading and writing, exclusively, existing devices
  // only, without overlapped I/O; closes what was open first.
  virtual bool open(int comNumber) = 0;
  // Opens a device by its name, for example "COM7". This default knows COM
  // names only and opens that number; other names fail as a missing port does.
  virtual bool openDevice(const std::string& deviceName);
  virtual void close() = 0;  // keeps the system error code
  virtual bool isOpen() const = 0;

  virtual bool readLineSettings(SerialLineSettings& settings) = 0;
  // Reads the driver's line state, changes the fields above and writes it back.
  virtual bool applyLineSettings(const SerialLineSettings& settings) = 0;
  // Reads up to size bytes within the read time-outs; got may be short.
  virtual bool read(void* buffer, uint32_t size, uint32_t& got) = 0;
  // Writes within the write time-outs; written may be short when they ran out.
  virtual bool write(const void* data, uint32_t size, uint32_t& written) = 0;
  // Clears the error state; reports the line errors and the queue status.
  // Fails when the device has gone.
  virtual bool clearError(SerialQueueStatus* status) = 0;
  virtual bool purge(uint32_t flags) = 0;

  // Optional features, with safe defaults for a device without them.
  // Time-outs: kept by this object (and honoured by the backend's read and write).
  virtual bool readTimeouts(SerialTimeouts& timeouts);
  virtual bool writeTimeouts(const SerialTimeouts& timeouts);
  // Driver queue sizes: a request that a device may ignore.
  virtual bool setQueueSizes(uint32_t inBytes, uint32_t outBytes);
  // Modem input lines (CTS, DSR, RING, RLSD bits as GetCommModemStatus); none by default.
  virtual bool modemStatus(uint32_t& status);

 protected:
  // False with kErrorInvalidHandle when the device is not open.
  bool requireOpen() const;
  SerialTimeouts timeouts_;
};

// The platform's serial device (not yet open).
std::unique_ptr<SerialDevice> createSerialDevice();

}  // namespace portrelay::platform
