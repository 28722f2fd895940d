// The OS-independent part of shared memory and named events: moving ownership.
#include <utility>

#include "platform/named_event.h"
#include "platform/shared_memory.h"

namespace portrelay::platform {

SharedMemory::SharedMemory(SharedMemory&& other) noexcept
    : handle_(std::exchange(other.handle_, kNoHandle)), unlinkName_(std::move(other.unlinkName_)) {}

SharedMemory& SharedMemory::operator=(SharedMemory&& other) noexcept {
  if (this != &other) {
    close();
    handle_ = std::exchange(other.handle_, kNoHandle);
    unlinkName_ = std::move(other.unlinkName_);
  }
  return *this;
}

NamedEvent::NamedEvent(NamedEvent&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)), unlinkName_(std::move(other.unlinkName_)) {}

NamedEvent& NamedEvent::operator=(NamedEvent&& other) noexcept {
  if (this != &other) {
    close();
    handle_ = std::exchange(other.handle_, nullptr);
    unlinkName_ = std::move(other.unlinkName_);
  }
  return *this;
}

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
