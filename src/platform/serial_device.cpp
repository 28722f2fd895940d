#include "platform/serial_device.h"

#include "platform/serial_port.h"

namespace portrelay::platform {

bool SerialDevice::requireOpen() const {
  if (isOpen()) return true;
  setLastSystemError(kErrorInvalidHandle);
  return false;
}

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
