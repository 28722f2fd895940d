// The messages received from the simulator: a byte stream cut into whole
// messages by the 32-bit little-endian size field each one starts with, kept
// in arrival order in one buffer allocated when the connection opens.
//
// A size field below 4 cannot frame a message and one above the largest
// message size can never arrive whole: either way the stream cannot be cut any
// further and the queue turns corrupt; the messages before stay readable.
#pragma once
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace portrelay::simclient {

class ReceiveQueue {
 public:
  // Messages of up to `maxMessageSize` bytes; the buffer holds twice that.
  explicit ReceiveQueue(size_t maxMessageSize);

  // Room behind the received bytes for the next read (moves the unread bytes
  // to the front first, so it never holds less than `maxMessageSize` bytes).
  std::span<uint8_t> space();
  // Takes `count` bytes just written into space() and splits them. False when
  // the queue is (now) corrupt.
  bool commit(size_t count);
  // Copies bytes in and splits them (space() + commit(), repeated as needed).
  // False when the queue is corrupt, or full of whole messages not taken yet
  // (the bytes that did not fit are dropped).
  bool push(const uint8_t* data, size_t count);

  // The oldest whole message (its size field is its length), or an empty span.
  std::span<const uint8_t> front() const;
  // Drops the oldest whole message.
  void pop();

  size_t count() const { return count_; }       // whole messages queued
  size_t bytes() const { return split_ - head_; }  // bytes of those messages
  bool corrupt() const { return corrupt_; }
  size_t maxMessageSize() const { return maxMessageSize_; }

 private:
  void split();

  size_t maxMessageSize_;
  std::vector<uint8_t> buffer_;
  size_t head_ = 0;   // start of the oldest message
  size_t split_ = 0;  // end of the whole messages
  size_t tail_ = 0;   // end of the received bytes
  size_t count_ = 0;
  bool corrupt_ = false;
};

// The 32-bit little-endian value at `offset` of a message.
inline uint32_t messageU32(std::span<const uint8_t> message, size_t offset) {
  return static_cast<uint32_t>(message[offset]) | static_cast<uint32_t>(message[offset + 1]) << 8 |
         static_cast<uint32_t>(message[offset + 2]) << 16 | static_cast<uint32_t>(message[offset + 3]) << 24;
}

}  // namespace portrelay::simclient
