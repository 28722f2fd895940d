#include "support/fake_serial_device.h"

#include <algorithm>
#include <chrono>
#include <cstring>

namespace portrelay::testing {

void FakeSerialLine::deliver(const std::vector<uint8_t>& bytes) {
  std::lock_guard lock(mutex_);
  incoming_.insert(incoming_.end(), bytes.begin(), bytes.end());
}

void FakeSerialLine::acceptAtMost(size_t bytes) {
  std::lock_guard lock(mutex_);
  acceptAtMost_ = bytes;
}

void FakeSerialLine::stall(bool stalled) {
  std::lock_guard lock(mutex_);
  stalled_ = stalled;
}

void FakeSerialLine::unplugAfter(size_t bytes) {
  std::lock_guard lock(mutex_);
  unplugAfter_ = bytes;
  if (bytes == 0) present_ = false;
}

void FakeSerialLine::replug() {
  std::lock_guard lock(mutex_);
  unplugAfter_ = std::numeric_limits<size_t>::max();
  present_ = true;
  incoming_.clear();
}

std::vector<std::vector<uint8_t>> FakeSerialLine::writeCalls() const {
  std::lock_guard lock(mutex_);
  return writeCalls_;
}

std::vector<int64_t> FakeSerialLine::writeTimesNs() const {
  std::lock_guard lock(mutex_);
  return writeTimesNs_;
}

std::vector<uint8_t> FakeSerialLine::taken() const {
  std::lock_guard lock(mutex_);
  return taken_;
}

size_t FakeSerialLine::transmitPurges() const {
  std::lock_guard lock(mutex_);
  return transmitPurges_;
}

size_t FakeSerialLine::opens() const {
  std::lock_guard lock(mutex_);
  return opens_;
}

platform::SerialLineSettings FakeSerialLine::lineSettings() const {
  std::lock_guard lock(mutex_);
  return settings_;
}

bool FakeSerialLine::present() const {
  std::lock_guard lock(mutex_);
  return present_;
}

bool FakeSerialDevice::usable() const {
  if (!open_) {
    platform::setLastSystemError(platform::kErrorInvalidHandle);
    return false;
  }
  if (!line_->present_) {
    platform::setLastSystemError(platform::kErrorDeviceGone);
    return false;
  }
  return true;
}

bool FakeSerialDevice::open(int comNumber) {
  std::lock_guard lock(line_->mutex_);
  open_ = false;
  if (comNumber != line_->comNumber_ || !line_->present_) {
    platform::setLastSystemError(platform::kErrorDeviceGone);
    return false;
  }
  ++line_->opens_;
  open_ = true;
  timeouts_ = platform::SerialTimeouts{};
  return true;
}

bool FakeSerialDevice::readLineSettings(platform::SerialLineSettings& settings) {
  std::lock_guard lock(line_->mutex_);
  if (!usable()) return false;
  settings = line_->settings_;
  return true;
}

bool FakeSerialDevice::applyLineSettings(const platform::SerialLineSettings& settings) {
  std::lock_guard lock(line_->mutex_);
  if (!usable()) return false;
  line_->settings_ = settings;
  return true;
}

bool FakeSerialDevice::read(void* buffer, uint32_t size, uint32_t& got) {
  std::lock_guard lock(line_->mutex_);
  got = 0;
  if (!usable()) return false;
  auto& in = line_->incoming_;
  got = static_cast<uint32_t>(std::min<size_t>(size, in.size()));
  std::copy_n(in.begin(), got, static_cast<uint8_t*>(buffer));
  in.erase(in.begin(), in.begin() + got);
  return true;  // fewer than asked: the read time-out ran out
}

void FakeSerialLine::duringNextWrite(std::function<void()> action) {
  std::lock_guard lock(mutex_);
  duringNextWrite_ = std::move(action);
}

bool FakeSerialDevice::write(const void* data, uint32_t size, uint32_t& written) {
  std::function<void()> action;
  bool result;
  {
    std::lock_guard lock(line_->mutex_);
    result = writeLocked(data, size, written);
    action.swap(line_->duringNextWrite_);
  }
  if (action) action();  // outside the line's lock: it may touch the link's queues
  return result;
}

bool FakeSerialDevice::writeLocked(const void* data, uint32_t size, uint32_t& written) {
  written = 0;
  if (!usable()) return false;
  FakeSerialLine& line = *line_;
  const auto* bytes = static_cast<const uint8_t*>(data);
  line.writeCalls_.emplace_back(bytes, bytes + size);
  const auto now = std::chrono::steady_clock::now().time_since_epoch();
  line.writeTimesNs_.push_back(std::chrono::duration_cast<std::chrono::nanoseconds>(now).count());
  size_t take = line.stalled_ ? 0 : std::min<size_t>(size, line.acceptAtMost_);
  const bool vanishes = take >= line.unplugAfter_;
  if (vanishes) take = line.unplugAfter_;
  line.taken_.insert(line.taken_.end(), bytes, bytes + take);
  if (line.unplugAfter_ != std::numeric_limits<size_t>::max()) line.unplugAfter_ -= take;
  written = static_cast<uint32_t>(take);
  if (vanishes) {
    line.present_ = false;
    platform::setLastSystemError(platform::kErrorDeviceGone);
    return false;
  }
  return true;
}

bool FakeSerialDevice::clearError(platform::SerialQueueStatus* status) {
  std::lock_guard lock(line_->mutex_);
  if (!usable()) return false;
  if (status != nullptr) *status = {0, static_cast<uint32_t>(line_->incoming_.size()), 0};
  return true;
}

bool FakeSerialDevice::purge(uint32_t flags) {
  std::lock_guard lock(line_->mutex_);
  if (!usable()) return false;
  if ((flags & (platform::kPurgeRxClear | platform::kPurgeRxAbort)) != 0) line_->incoming_.clear();
  if ((flags & platform::kPurgeTxClear) != 0) ++line_->transmitPurges_;
  return true;
}

}  // namespace portrelay::testing
