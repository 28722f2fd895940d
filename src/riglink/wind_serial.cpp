// The fan controller: one speed byte per sender step on its own serial port.
#include "portrelay/wind_serial.h"

#include <cctype>
#include <chrono>

#include "platform/com_devices.h"
#include "platform/serial_device.h"

using portrelay::platform::Parity;
using portrelay::platform::SerialDevice;
using portrelay::platform::SerialLineSettings;
using portrelay::platform::SerialTimeouts;
using portrelay::platform::StopBits;

namespace {
constexpr int kMaxFailedStarts = 3;
}

WindSerial::WindSerial() : port_(portrelay::platform::createSerialDevice()) {}

#ifdef PORTRELAY_TEST_SEAMS
WindSerial::WindSerial(std::unique_ptr<SerialDevice> device)
    : port_(device != nullptr ? std::move(device) : portrelay::platform::createSerialDevice()) {}
#endif

WindSerial::~WindSerial() {
  try {
    stop();
  } catch (...) {
  }
}

bool WindSerial::init(const std::string& portName, int baudRate, const std::string& frameFormat,
                      unsigned int sendIntervalMs) {
  sendIntervalMs_.store(sendIntervalMs, std::memory_order_relaxed);
  if (!portrelay::platform::deviceNameExists(portName)) {
    initialized_.store(false);
    return false;
  }
  std::lock_guard lock(controlMutex_);
  portName_ = portName;
  baudRate_ = baudRate;
  frameFormat_ = frameFormat;
  initialized_.store(true);
  failedStarts_.store(0);
  return true;
}

void WindSerial::start() {
  std::lock_guard lock(controlMutex_);
  if (!initialized_.load() || running_.load() || failedStarts_.load() >= kMaxFailedStarts) return;
  auto fail = [this] {
    closePort();
    running_.store(false);
    failedStarts_.fetch_add(1);
  };
  if (!port_->openDevice(portName_)) return fail();
  if (!configurePort(baudRate_, frameFormat_)) return fail();
  const uint8_t zero = 0;
  uint32_t written = 0;
  if (!port_->write(&zero, 1, written) || written != 1) return fail();
  paused_.store(false);
  {
    std::lock_guard wait(waitMutex_);
    wakeRequested_ = false;  // a pause before this start must not cut the first step short
  }
  running_.store(true);
  try {
    if (sender_.joinable()) sender_.join();
    sender_ = std::thread([this] { sendingThreadFunc(); });
  } catch (...) {
    fail();
  }
}

bool WindSerial::configurePort(int baudRate, const std::string& frameFormat) {
  SerialLineSettings settings;
  if (!port_->readLineSettings(settings)) return false;
  settings.baudRate = static_cast<uint32_t>(baudRate);
  if (frameFormat.size() != 3) return false;
  settings.dataBits = static_cast<uint8_t>(frameFormat[0] - '0');
  switch (std::toupper(static_cast<unsigned char>(frameFormat[1]))) {
    case 'E': settings.parity = Parity::even; break;
    case 'N': settings.parity = Parity::none; break;
    case 'O': settings.parity = Parity::odd; break;
    default: return false;
  }
  switch (frameFormat[2]) {
    case '1': settings.stopBits = StopBits::one; break;
    case '2': settings.stopBits = StopBits::two; break;
    default: return false;
  }
  if (!port_->applyLineSettings(settings)) return false;
  SerialTimeouts timeouts;
  timeouts.readInterval = 50;
  timeouts.readTotalMultiplier = 10;
  timeouts.readTotalConstant = 50;
  timeouts.writeTotalMultiplier = 10;
  timeouts.writeTotalConstant = 50;
  (void)port_->writeTimeouts(timeouts);
  return true;
}

void WindSerial::sendingThreadFunc() {
  using clock = std::chrono::steady_clock;
  while (running_.load(std::memory_order_relaxed)) {
    bool taken = false;
    uint8_t byte = 0;
    {
      std::lock_guard lock(bufferMutex_);
      if (!buffer_.empty()) {
        byte = buffer_.front();
        buffer_.erase(buffer_.begin());
        taken = true;
      }
    }
    if (taken) {
      // Checked and written under the write lock, so that no speed byte can
      // follow the 0x00 that pause() writes.
      std::lock_guard lock(writeMutex_);
      if (!paused_.load(std::memory_order_relaxed)) {
        uint32_t written = 0;
        (void)port_->write(&byte, 1, written);
      }
    }
    const uint32_t interval = sendIntervalMs_.load(std::memory_order_relaxed);
    if (interval > 0) {
      // However long the interval, stop() and pause() end the wait at once.
      std::unique_lock lock(waitMutex_);
      wake_.wait_until(lock, clock::now() + std::chrono::milliseconds(interval),
                       [this] { return wakeRequested_ || !running_.load(std::memory_order_relaxed); });
      wakeRequested_ = false;
    } else {
      std::this_thread::yield();  // interval 0 polls, but lets the rest of the machine run
    }
  }
}

void WindSerial::wakeSender() {
  {
    std::lock_guard lock(waitMutex_);
    wakeRequested_ = true;
  }
  wake_.notify_all();
}

void WindSerial::updateBuffer(const std::vector<uint8_t>& bytes) {
  std::lock_guard lock(bufferMutex_);
  buffer_.assign(bytes.begin(), bytes.end());
}

void WindSerial::offerByte(uint8_t byte) {
  paused_.store(false, std::memory_order_relaxed);
  std::lock_guard lock(bufferMutex_);
  buffer_.assign(1, byte);  // capacity is kept: no allocation after the first byte
}

bool WindSerial::portOpen() const { return port_->isOpen(); }

void WindSerial::writeZero() {
  const uint8_t zero = 0;
  uint32_t written = 0;
  (void)port_->write(&zero, 1, written);
}

void WindSerial::closePort() { port_->close(); }

void WindSerial::pause() {
  std::lock_guard lock(controlMutex_);
  std::lock_guard write(writeMutex_);
  paused_.store(true);
  if (portOpen()) writeZero();
  wakeSender();
}

void WindSerial::unpause() { paused_.store(false); }

void WindSerial::stop() {
  std::lock_guard lock(controlMutex_);
  {
    // Cleared under the wait lock, so that the sender cannot miss the wake-up
    // between its check and its wait.
    std::lock_guard wait(waitMutex_);
    running_.store(false);
  }
  wakeSender();
  failedStarts_.store(0);
  if (sender_.joinable()) {
    if (sender_.get_id() == std::this_thread::get_id()) {
      sender_.detach();
    } else {
      sender_.join();
    }
  }
  // The 0x00 goes out once the sender has ended: a speed byte the sender was
  // about to write must not follow it and leave the fans running.
  if (portOpen()) writeZero();
  closePort();
}

bool WindSerial::isRunning() const { return running_.load(); }

bool WindSerial::isInit() const { return initialized_.load(); }

int WindSerial::failedStartCount() const { return failedStarts_.load(); }
