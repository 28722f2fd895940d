#include "riglink/message_queue.h"

#include <cstring>

#include "platform/clock.h"

namespace portrelay {

bool MessageQueue::pushIfBelow(const uint8_t* data, size_t length, size_t bound) {
  if (data == nullptr || length == 0 || length > kMaxMessageLength) return false;
  const int64_t now = platform::performanceCounter();  // read outside the lock
  std::lock_guard lock(mutex_);
  if (count_ >= bound || count_ >= kQueueSlots) return false;
  Slot& slot = slots_[(head_ + count_) % kQueueSlots];
  std::memcpy(slot.bytes, data, length);
  slot.length = static_cast<uint16_t>(length);
  slot.id = nextId_++;
  slot.queuedAt = now;
  ++count_;
  return true;
}

std::optional<size_t> MessageQueue::copyFront(uint8_t* out, int64_t* queuedAt, uint64_t* id) const {
  std::lock_guard lock(mutex_);
  if (count_ == 0) return std::nullopt;
  const Slot& slot = slots_[head_];
  std::memcpy(out, slot.bytes, slot.length);
  if (queuedAt != nullptr) *queuedAt = slot.queuedAt;
  if (id != nullptr) *id = slot.id;
  return slot.length;
}

std::optional<size_t> MessageQueue::takeFront(uint8_t* out) {
  std::lock_guard lock(mutex_);
  if (count_ == 0) return std::nullopt;
  const Slot& slot = slots_[head_];
  const size_t length = slot.length;
  std::memcpy(out, slot.bytes, length);
  dropFrontLocked();
  return length;
}

bool MessageQueue::popFront() {
  std::lock_guard lock(mutex_);
  if (count_ == 0) return false;
  dropFrontLocked();
  return true;
}

bool MessageQueue::removeFront(uint64_t id) {
  std::lock_guard lock(mutex_);
  if (count_ == 0 || slots_[head_].id != id) return false;
  dropFrontLocked();
  return true;
}

void MessageQueue::purgeAndPushFront(uint8_t header, std::initializer_list<std::span<const uint8_t>> front,
                                     size_t bound) {
  for (std::span<const uint8_t> message : front)
    if (message.empty() || message.size() > kMaxMessageLength) return;
  std::lock_guard lock(mutex_);
  size_t kept = 0;
  for (size_t i = 0; i < count_; ++i) {
    const Slot& slot = slots_[(head_ + i) % kQueueSlots];
    if (slot.length > 0 && slot.bytes[0] == header) continue;
    if (kept != i) {
      Slot& to = slots_[(head_ + kept) % kQueueSlots];
      std::memcpy(to.bytes, slot.bytes, slot.length);
      to.length = slot.length;
      to.id = slot.id;
      to.queuedAt = slot.queuedAt;
    }
    ++kept;
  }
  count_ = kept;
  const int64_t now = platform::performanceCounter();
  const size_t limit = bound < kQueueSlots ? bound : kQueueSlots;
  if (front.size() > limit) return;
  while (count_ + front.size() > limit) dropFrontLocked();
  head_ = (head_ + kQueueSlots - front.size()) % kQueueSlots;
  size_t at = head_;
  for (std::span<const uint8_t> message : front) {
    Slot& slot = slots_[at];
    std::memcpy(slot.bytes, message.data(), message.size());
    slot.length = static_cast<uint16_t>(message.size());
    slot.id = nextId_++;
    slot.queuedAt = now;
    at = (at + 1) % kQueueSlots;
  }
  count_ += front.size();
}

size_t MessageQueue::size() const {
  std::lock_guard lock(mutex_);
  return count_;
}

void MessageQueue::clear() {
  std::lock_guard lock(mutex_);
  head_ = 0;
  count_ = 0;
}

void MessageQueue::dropFrontLocked() {
  head_ = (head_ + 1) % kQueueSlots;
  --count_;
}

}  // namespace portrelay
