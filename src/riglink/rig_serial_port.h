// The serial port object of the rig link. CSerialPort2 owns the one port
// handle; CSerialPort adds the operations, each raising CSerialException on
// failure.
//
// Several threads reach the one port: the relay thread (cycles and the
// autoconnect scan), a host thread in resumeInterface (manual connection) and
// a host thread in pauseInterface (close). Each operation holds the port's
// mutex for its own duration only, so a close lands between two operations of
// another thread, never inside one. Every open and close starts a new
// generation of the handle; an operation given the generation it expects
// fails, as if on a closed handle, once the handle it meant is gone, so a
// relay cycle never writes to a handle that a manual connection has just
// opened and not yet identified.
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "platform/serial_device.h"

namespace portrelay {

class CSerialPort2 {
 public:
  // On the platform's serial device, or on the given one (a test's fake).
  CSerialPort2();
  explicit CSerialPort2(std::unique_ptr<platform::SerialDevice> device);
  virtual ~CSerialPort2() = default;  // the device closes a valid handle
  CSerialPort2(const CSerialPort2&) = delete;
  CSerialPort2& operator=(const CSerialPort2&) = delete;

  bool isOpen() const;
  uint64_t generation() const { return generation_.load(std::memory_order_relaxed); }

 protected:
  mutable std::mutex mutex_;
  std::unique_ptr<platform::SerialDevice> device_;
  std::atomic<uint64_t> generation_{0};
};

class CSerialPort : public CSerialPort2 {
 public:
  using CSerialPort2::CSerialPort2;
  static constexpr uint64_t kAnyGeneration = ~uint64_t{0};

  // Opens COM port n, closing any handle held first. False on failure, with
  // the system error code left for platform::lastSystemError().
  bool open(int comNumber);
  // Applies the line settings (read, change, write back); false on failure.
  bool applyLineSettings(const platform::SerialLineSettings& settings);
  platform::SerialLineSettings lineSettings();
  // Closes a valid handle; keeps the system error code.
  void close();
  // Closes only while the handle is still of the given generation.
  bool closeIfGeneration(uint64_t generation);
  // Runs action under the port mutex when the handle is open and of the
  // given generation; returns whether it ran.
  template <typename Action>
  bool whileCurrent(uint64_t generation, Action&& action) {
    std::lock_guard lock(mutex_);
    if (!device_->isOpen() || generation_.load(std::memory_order_relaxed) != generation) return false;
    action();
    return true;
  }

  uint32_t getModemStatus(uint64_t generation = kAnyGeneration);
  void clearError(platform::SerialQueueStatus* status = nullptr, uint64_t generation = kAnyGeneration);
  platform::SerialTimeouts getTimeouts(uint64_t generation = kAnyGeneration);
  void setTimeouts(const platform::SerialTimeouts& timeouts, uint64_t generation = kAnyGeneration);
  void setupComm(uint32_t inBytes, uint32_t outBytes, uint64_t generation = kAnyGeneration);
  void purge(uint32_t flags, uint64_t generation = kAnyGeneration);
  // Bytes read within the port's read time-outs (may be fewer than size).
  uint32_t read(void* buffer, uint32_t size, uint64_t generation = kAnyGeneration);
  // Writes all size bytes within the port's write time-outs; a short write
  // (time-out) fails like any other port operation.
  void write(const void* data, uint32_t size, uint64_t generation = kAnyGeneration);

 private:
  // Locks, checks the generation and runs op; throws on failure.
  template <typename Op>
  void run(uint64_t generation, Op&& op);
};

}  // namespace portrelay
