// A named shared-memory section published the way a game publishes it, with
// byte-exact (unaligned) writes at the layout's offsets.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "platform/shared_memory.h"

namespace gamesim {

// Writes into any block of bytes: a published section or a test's buffer.
class LayoutWriter {
 public:
  LayoutWriter(uint8_t* base, size_t size) : base_(base), size_(size) {}
  template <typename T>
  void put(size_t offset, T value) {
    if (base_ != nullptr && offset <= size_ && sizeof(T) <= size_ - offset) std::memcpy(base_ + offset, &value, sizeof(T));
  }
  template <typename T>
  T get(size_t offset) const {
    T value{};
    if (base_ != nullptr && offset <= size_ && sizeof(T) <= size_ - offset) std::memcpy(&value, base_ + offset, sizeof(T));
    return value;
  }
  void putText(size_t offset, const char* text, size_t field) {
    for (size_t i = 0; i < field; ++i) {
      const char c = text[i];
      put<char>(offset + i, c);
      if (c == '\0') break;
    }
  }
  uint8_t* base() const { return base_; }
  size_t size() const { return size_; }

 private:
  uint8_t* base_;
  size_t size_;
};

class PublishedSection {
 public:
  PublishedSection(std::string name, size_t size) : name_(std::move(name)), size_(size) {}

  // Creates the mapping (the game starts publishing) and zeroes it.
  bool publish();
  // Unmaps and closes: the game quits (on Windows the memory lives on while a
  // reader still holds it).
  void close();
  bool published() const { return view_.valid(); }

  LayoutWriter writer() { return LayoutWriter(view_.writableData(), view_.valid() ? size_ : 0); }
  const std::string& name() const { return name_; }
  size_t size() const { return size_; }

 private:
  std::string name_;
  size_t size_;
  portrelay::platform::SharedMemory memory_;
  portrelay::platform::SharedView view_;
};

}  // namespace gamesim
