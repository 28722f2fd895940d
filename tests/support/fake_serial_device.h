// A serial device for tests that scripts, deterministically and without a
// pseudo-terminal or timing, what hardware does badly: short writes, stalled
// writes (a time-out: nothing taken), garbage and split frames on the way in,
// and a device that vanishes in the middle of a frame.
#pragma once
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/serial_device.h"

namespace portrelay::testing {

// The far side of a fake device: what it took, what it will hand over, and
// how it misbehaves. Shared by the device and the test (thread-safe).
class FakeSerialLine {
 public:
  explicit FakeSerialLine(int comNumber = 7) : comNumber_(comNumber) {}

  // Bytes the device will read, as a rig would send them.
  void deliver(const std::vector<uint8_t>& bytes);
  // Each write takes at most this many bytes and reports the rest unwritten.
  void acceptAtMost(size_t bytes);
  // A stalled device takes nothing: every write runs out of time with 0 bytes.
  void stall(bool stalled);
  // The device vanishes once this many more bytes have been taken: the write
  // that crosses the mark takes the bytes up to it and fails, as does every
  // later operation, until replug().
  void unplugAfter(size_t bytes);
  void unplug() { unplugAfter(0); }
  void replug();
  // Runs once the next write call has returned its bytes, on the writing
  // thread: what another thread does while a message is on its way.
  void duringNextWrite(std::function<void()> action);

  // Every write call: the bytes it handed over (taken or not).
  std::vector<std::vector<uint8_t>> writeCalls() const;
  // The steady-clock time (ns) of every write call, in the same order.
  std::vector<int64_t> writeTimesNs() const;
  std::vector<uint8_t> taken() const;  // all bytes taken, in order
  // Purges of the transmit queue made on the open, present device.
  size_t transmitPurges() const;
  size_t opens() const;
  // The line as the last applyLineSettings left it.
  platform::SerialLineSettings lineSettings() const;
  bool present() const;
  int comNumber() const { return comNumber_; }

 private:
  friend class FakeSerialDevice;
  mutable std::mutex mutex_;
  const int comNumber_;
  std::deque<uint8_t> incoming_;
  std::vector<std::vector<uint8_t>> writeCalls_;
  std::vector<int64_t> writeTimesNs_;
  std::vector<uint8_t> taken_;
  size_t acceptAtMost_ = std::numeric_limits<size_t>::max();
  size_t unplugAfter_ = std::numeric_limits<size_t>::max();
  bool stalled_ = false;
  bool present_ = true;
  size_t opens_ = 0;
  size_t transmitPurges_ = 0;
  platform::SerialLineSettings settings_;
  std::function<void()> duringNextWrite_;
};

class FakeSerialDevice final : public platform::SerialDevice {
 public:
  explicit FakeSerialDevice(std::shared_ptr<FakeSerialLine> line) : line_(std::move(line)) {}

  bool open(int comNumber) override;
  void close() override { open_ = false; }
  bool isOpen() const override { return open_; }
  bool readLineSettings(platform::SerialLineSettings& settings) override;
  bool applyLineSettings(const platform::SerialLineSettings& settings) override;
  bool read(void* buffer, uint32_t size, uint32_t& got) override;
  bool write(const void* data, uint32_t size, uint32_t& written) override;
  bool clearError(platform::SerialQueueStatus* status) override;
  bool purge(uint32_t flags) override;

 private:
  // False with kErrorDeviceGone once the device has vanished (line locked).
  bool usable() const;
  bool writeLocked(const void* data, uint32_t size, uint32_t& written);  // line locked

  std::shared_ptr<FakeSerialLine> line_;
  bool open_ = false;
};

}  // namespace portrelay::testing
