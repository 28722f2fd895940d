// Bounds-checked, alignment-free loads from a game's memory or datagram.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace portrelay {

struct ByteView {
  const uint8_t* data = nullptr;
  size_t size = 0;

  bool covers(size_t offset, size_t length) const { return data != nullptr && offset <= size && length <= size - offset; }

  // The value at `offset`, copied byte by byte (games pack their layouts); 0
  // when it does not lie inside the view.
  template <typename T>
  T load(size_t offset) const {
    T value{};
    if (covers(offset, sizeof(T))) std::memcpy(&value, data + offset, sizeof(T));
    return value;
  }
  float f32(size_t offset) const { return load<float>(offset); }
  double f64(size_t offset) const { return load<double>(offset); }
  int32_t i32(size_t offset) const { return load<int32_t>(offset); }
  uint32_t u32(size_t offset) const { return load<uint32_t>(offset); }
  uint8_t u8(size_t offset) const { return load<uint8_t>(offset); }
};

}  // namespace portrelay
