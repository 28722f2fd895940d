// A bounded FIFO of rig messages. Every step (a bounded add, a copy of the
// front, a removal, a size test, emptying) takes effect at once with respect to
// the other threads: each holds the queue's mutex only for a copy of at most
// 512 bytes, never across a port write, a send or a sleep. Messages live in
// fixed slots, so adding never allocates (the engine thread adds every cycle).
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <initializer_list>
#include <optional>
#include <span>

namespace portrelay {

// Longest message or frame the link carries (messages: 2..512 bytes; the
// longest received frame: 465 bytes).
inline constexpr size_t kMaxMessageLength = 512;
// Transmit queues accept an add while they hold fewer than 150 messages.
inline constexpr size_t kTransmitQueueBound = 150;
// Receive queues accept a frame while they hold 150 or fewer, so 151 at most.
inline constexpr size_t kReceiveQueueBound = 151;
inline constexpr size_t kQueueSlots = kReceiveQueueBound;

class MessageQueue {
 public:
  MessageQueue() = default;
  MessageQueue(const MessageQueue&) = delete;
  MessageQueue& operator=(const MessageQueue&) = delete;

  // Appends a copy of length bytes (1..512) when the queue holds fewer than
  // `bound` messages; false when full or the length is out of range.
  bool pushIfBelow(const uint8_t* data, size_t length, size_t bound);
  // Copies the front message into out (room for kMaxMessageLength bytes);
  // its length, or nothing when the queue is empty. queuedAt, when given,
  // receives the performance-counter reading taken when it was queued; id,
  // when given, the message's identity in this queue (see removeFront).
  std::optional<size_t> copyFront(uint8_t* out, int64_t* queuedAt = nullptr, uint64_t* id = nullptr) const;
  // Copies and removes the front message in one step.
  std::optional<size_t> takeFront(uint8_t* out);
  // Removes the front message; false when the queue was empty.
  bool popFront();
  // Removes the front message only when it is still the one copied with
  // this id: a transmit loop removes what it sent, never a message that took
  // the front meanwhile (the queue emptied and refilled while it sent).
  bool removeFront(uint64_t id);
  // One step: decide(size) sees the current size (at least 1) and returns
  // whether the front message is to be removed. Nothing happens when empty.
  template <typename Decide>
  void popFrontIf(Decide&& decide) {
    std::lock_guard lock(mutex_);
    if (count_ != 0 && decide(count_)) dropFrontLocked();
  }
  // The same, only while the front is still the message with this id.
  template <typename Decide>
  void popFrontIf(uint64_t id, Decide&& decide) {
    std::lock_guard lock(mutex_);
    if (count_ != 0 && slots_[head_].id == id && decide(count_)) dropFrontLocked();
  }
  // One step: removes every message for which drop(bytes, length) holds and
  // keeps the others in their order. Returns how many were removed.
  template <typename Drop>
  size_t removeIf(Drop&& drop) {
    std::lock_guard lock(mutex_);
    size_t kept = 0;
    for (size_t i = 0; i < count_; ++i) {
      Slot& slot = slots_[(head_ + i) % kQueueSlots];
      if (drop(static_cast<const uint8_t*>(slot.bytes), static_cast<size_t>(slot.length))) continue;
      if (kept != i) slots_[(head_ + kept) % kQueueSlots] = slot;
      ++kept;
    }
    const size_t removed = count_ - kept;
    count_ = kept;
    return removed;
  }
  // One step: removes every message whose first byte is `header`, then puts
  // `front` (each 1..512 bytes) at the head of the queue in the given order,
  // first dropping the oldest remaining messages while the queue would hold
  // more than `bound`. Used when a link comes up: the frames queued while it
  // was down are stale, and its greeting must go first whatever the engine
  // queues meanwhile. Holds the lock for one pass over the queue.
  void purgeAndPushFront(uint8_t header, std::initializer_list<std::span<const uint8_t>> front, size_t bound);
  size_t size() const;
  bool empty() const { return size() == 0; }
  void clear();

 private:
  struct Slot {
    uint16_t length = 0;
    uint64_t id = 0;       // unique in this queue, never reused
    int64_t queuedAt = 0;  // performance counter when added
    uint8_t bytes[kMaxMessageLength];
  };
  void dropFrontLocked();

  mutable std::mutex mutex_;
  std::array<Slot, kQueueSlots> slots_;
  size_t head_ = 0;
  size_t count_ = 0;
  uint64_t nextId_ = 1;
};

}  // namespace portrelay
