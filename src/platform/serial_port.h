// The platform's serial device: a COM handle on Windows, a tty node on POSIX
// (COM numbering in platform/com_devices.h). Code that only needs a device
// takes it from createSerialDevice().
#pragma once
#include <cstdint>
#include <string>

#include "platform/com_devices.h"
#include "platform/serial_device.h"
#include "platform/system_error.h"

namespace portrelay::platform {

class SerialPort final : public SerialDevice {
 public:
  SerialPort() = default;
  ~SerialPort() override;

  bool open(int comNumber) override;
  // Windows: any device name ("\\.\" + name); POSIX: the node of a COM name.
  bool openDevice(const std::string& deviceName) override;
  void close() override;
  bool isOpen() const override;

  bool readLineSettings(SerialLineSettings& settings) override;
  bool applyLineSettings(const SerialLineSettings& settings) override;
  bool read(void* buffer, uint32_t size, uint32_t& got) override;
  bool write(const void* data, uint32_t size, uint32_t& written) override;
  bool clearError(SerialQueueStatus* status) override;
  bool purge(uint32_t flags) override;
  // A port without modem lines (a pseudo-terminal, some virtual ports) reports none.
  bool modemStatus(uint32_t& status) override;
  // Windows: the driver's; POSIX: kept here (termios has no time-outs of this
  // kind) and honoured by read and write.
  bool readTimeouts(SerialTimeouts& timeouts) override;
  bool writeTimeouts(const SerialTimeouts& timeouts) override;
  // Windows: the driver's queues; POSIX keeps the kernel's fixed tty buffers.
  bool setQueueSizes(uint32_t inBytes, uint32_t outBytes) override;

 private:
  intptr_t handle_ = -1;
};

}  // namespace portrelay::platform
