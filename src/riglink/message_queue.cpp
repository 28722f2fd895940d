#include "riglink/message_queue.h"

#include <cstring>

namespace portrelay {

bool MessageQueue::pushIfBelow(const uint8_t* data, size_t length, size_t bound) {
  if (data == nullptr || length == 0 || length > kMaxMessageLength) return false;
  std::lock_guard lock(mutex_);
  if (count_ >= bound || count_ >= kQueueSlots) return false;
  Slot& slot = slots_[(head_ + count_) % kQueueSlots];
  std::memcpy(slot.bytes, data, length);
  slot.length = static_cast<uint16_t>(length);
  ++count_;
  return true;
}

std::optional<size_t> MessageQueue::copyFront(uint8_t* out) const {
  std::lock_guard lock(mutex_);
  if (count_ == 0) return std::nullopt;
  const Slot& slot = slots_[head_];
  std::memcpy(out, slot.bytes, slot.length);
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
    }
    ++kept;
  }
  count_ = kept;
  const size_t limit = bound < kQueueSlots ? bound : kQueueSlots;
  if (front.size() > limit) return;
  while (count_ + front.size() > limit) dropFrontLocked();
  head_ = (head_ + kQueueSlots - front.size()) % kQueueSlots;
  size_t at = head_;
  for (std::span<const uint8_t> message : front) {
    Slot& slot = slots_[at];
    std::memcpy(slot.bytes, message.data(), message.size());
    slot.length = static_cast<uint16_t>(message.size());
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
