// The OS-independent part of a shared-memory view: moving ownership.
#include <utility>

#include "platform/shared_memory.h"

namespace portrelay::platform {

SharedView::SharedView(SharedView&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)),
      mappedLength_(std::exchange(other.mappedLength_, 0)),
      writable_(std::exchange(other.writable_, false)) {}

SharedView& SharedView::operator=(SharedView&& other) noexcept {
  if (this != &other) {
    unmap();
    data_ = std::exchange(other.data_, nullptr);
    size_ = std::exchange(other.size_, 0);
    mappedLength_ = std::exchange(other.mappedLength_, 0);
    writable_ = std::exchange(other.writable_, false);
  }
  return *this;
}

}  // namespace portrelay::platform
