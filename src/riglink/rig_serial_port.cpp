#include "riglink/rig_serial_port.h"

#include "riglink/serial_exception.h"

namespace portrelay {

CSerialPort2::CSerialPort2() : device_(platform::createSerialDevice()) {}
CSerialPort2::CSerialPort2(std::unique_ptr<platform::SerialDevice> device) : device_(std::move(device)) {}

bool CSerialPort2::isOpen() const {
  std::lock_guard lock(mutex_);
  return device_->isOpen();
}

bool CSerialPort::open(int comNumber) {
  std::lock_guard lock(mutex_);
  generation_.fetch_add(1, std::memory_order_relaxed);
  return device_->open(comNumber);
}

bool CSerialPort::applyLineSettings(const platform::SerialLineSettings& settings) {
  std::lock_guard lock(mutex_);
  return device_->applyLineSettings(settings);
}

platform::SerialLineSettings CSerialPort::lineSettings() {
  std::lock_guard lock(mutex_);
  platform::SerialLineSettings settings;
  device_->readLineSettings(settings);
  return settings;
}

void CSerialPort::close() {
  std::lock_guard lock(mutex_);
  if (!device_->isOpen()) return;
  const uint32_t error = platform::lastSystemError();
  device_->close();
  generation_.fetch_add(1, std::memory_order_relaxed);
  platform::setLastSystemError(error);
}

bool CSerialPort::closeIfGeneration(uint64_t generation) {
  std::lock_guard lock(mutex_);
  if (generation_.load(std::memory_order_relaxed) != generation || !device_->isOpen()) return false;
  const uint32_t error = platform::lastSystemError();
  device_->close();
  generation_.fetch_add(1, std::memory_order_relaxed);
  platform::setLastSystemError(error);
  return true;
}

template <typename Op>
void CSerialPort::run(uint64_t generation, Op&& op) {
  std::lock_guard lock(mutex_);
  if (generation != kAnyGeneration && generation != generation_.load(std::memory_order_relaxed))
    throw CSerialException(platform::kErrorInvalidHandle);
  if (!op()) throw CSerialException(platform::lastSystemError());
}

uint32_t CSerialPort::getModemStatus(uint64_t generation) {
  uint32_t status = 0;
  run(generation, [&] { return device_->modemStatus(status); });
  return status;
}

void CSerialPort::clearError(platform::SerialQueueStatus* status, uint64_t generation) {
  run(generation, [&] { return device_->clearError(status); });
}

platform::SerialTimeouts CSerialPort::getTimeouts(uint64_t generation) {
  platform::SerialTimeouts timeouts;
  run(generation, [&] { return device_->readTimeouts(timeouts); });
  return timeouts;
}

void CSerialPort::setTimeouts(const platform::SerialTimeouts& timeouts, uint64_t generation) {
  run(generation, [&] { return device_->writeTimeouts(timeouts); });
}

void CSerialPort::setupComm(uint32_t inBytes, uint32_t outBytes, uint64_t generation) {
  run(generation, [&] { return device_->setQueueSizes(inBytes, outBytes); });
}

void CSerialPort::purge(uint32_t flags, uint64_t generation) {
  run(generation, [&] { return device_->purge(flags); });
}

uint32_t CSerialPort::read(void* buffer, uint32_t size, uint64_t generation) {
  uint32_t got = 0;
  run(generation, [&] { return device_->read(buffer, size, got); });
  return got;
}

void CSerialPort::write(const void* data, uint32_t size, uint64_t generation) {
  run(generation, [&] {
    uint32_t written = 0;
    if (!device_->write(data, size, written)) return false;
    if (written == size) return true;
    // The write time-out ran out with bytes left over: the device stopped
    // taking them. A part of a frame on the wire is no frame sent.
    platform::setLastSystemError(platform::kErrorTimeout);
    return false;
  });
}

}  // namespace portrelay
