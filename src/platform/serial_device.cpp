#include "platform/serial_device.h"

#include "platform/com_devices.h"
#include "platform/serial_port.h"

namespace portrelay::platform {

bool SerialDevice::requireOpen() const {
  if (isOpen()) return true;
  setLastSystemError(kErrorInvalidHandle);
  return false;
}

// Another name is COM0, which no port is.
bool SerialDevice::openDevice(const std::string& deviceName) { return open(comNumberOfName(deviceName)); }

bool SerialDevice::readTimeouts(SerialTimeouts& timeouts) {
  if (!requireOpen()) return false;
  timeouts = timeouts_;
  return true;
}

bool SerialDevice::writeTimeouts(const SerialTimeouts& timeouts) {
  if (!requireOpen()) return false;
  timeouts_ = timeouts;
  return true;
}

bool SerialDevice::setQueueSizes(uint32_t, uint32_t) { return requireOpen(); }

bool SerialDevice::modemStatus(uint32_t& status) {
  status = 0;
  return requireOpen();
}

std::unique_ptr<SerialDevice> createSerialDevice() { return std::make_unique<SerialPort>(); }

}  // namespace portrelay::platform
