#include "simclient/receive_queue.h"

#include <algorithm>
#include <cstring>

namespace portrelay::simclient {

namespace {
constexpr size_t kSizeField = 4;
}

ReceiveQueue::ReceiveQueue(size_t maxMessageSize)
    : maxMessageSize_(std::max(maxMessageSize, kSizeField)), buffer_(2 * maxMessageSize_) {}

std::span<uint8_t> ReceiveQueue::space() {
  if (head_ > 0) {
    std::memmove(buffer_.data(), buffer_.data() + head_, tail_ - head_);
    split_ -= head_;
    tail_ -= head_;
    head_ = 0;
  }
  if (corrupt_) return {};
  return {buffer_.data() + tail_, buffer_.size() - tail_};
}

bool ReceiveQueue::commit(size_t count) {
  if (corrupt_) return false;
  tail_ += std::min(count, buffer_.size() - tail_);
  split();
  return !corrupt_;
}

bool ReceiveQueue::push(const uint8_t* data, size_t count) {
  while (count > 0 && !corrupt_) {
    const std::span<uint8_t> room = space();
    const size_t n = std::min(count, room.size());
    if (n == 0) return false;  // whole messages not taken yet fill the buffer
    std::memcpy(room.data(), data, n);
    data += n;
    count -= n;
    commit(n);
  }
  return !corrupt_;
}

void ReceiveQueue::split() {
  while (tail_ - split_ >= kSizeField) {
    const uint32_t size = messageU32({buffer_.data() + split_, kSizeField}, 0);
    if (size < kSizeField || size > maxMessageSize_) {
      corrupt_ = true;
      tail_ = split_;  // nothing behind a broken size field can be trusted
      return;
    }
    if (tail_ - split_ < size) return;
    split_ += size;
    ++count_;
  }
}

std::span<const uint8_t> ReceiveQueue::front() const {
  if (count_ == 0) return {};
  return {buffer_.data() + head_, messageU32({buffer_.data() + head_, kSizeField}, 0)};
}

void ReceiveQueue::pop() {
  if (count_ == 0) return;
  head_ += messageU32({buffer_.data() + head_, kSizeField}, 0);
  --count_;
}

}  // namespace portrelay::simclient
