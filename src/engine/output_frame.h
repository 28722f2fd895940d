// The 36-byte motion frame sent to the rig controller every cycle, and the fan byte.
//
// Frame layout:
//   0   2  FC FC
//   2  24  six IEEE floats, little-endian: outputs 0..5 (sway, surge, heave,
//          yaw, roll, pitch) clamped to their rig limits
//   26  4  belt value from output 10, unsigned 32-bit, big-endian
//   30  4  fan value from output 21, unsigned 32-bit, big-endian
//   34  2  0A 0D
#pragma once
#include <array>
#include <atomic>
#include <cstdint>
#include <cstring>

namespace portrelay {

inline constexpr int kOutputFrameSize = 36;
inline constexpr int kRigAxisCount = 6;  // sway, surge, heave, yaw, roll, pitch
inline constexpr int kFrameAxesOffset = 2;
inline constexpr int kFrameBeltOffset = 26;
inline constexpr int kFrameFanOffset = 30;

// Rig limit of one axis, as set by the host.
struct AxisLimit {
  double min;
  double max;
};

// Builds frames and fan bytes. A NaN output (from a game or a filter) never
// reaches the rig: the field repeats the last value sent instead. Infinite
// outputs are limited like any other value (+inf to the top of the range,
// -inf to the bottom), and a non-finite limit counts as 0.
class OutputEncoder {
 public:
  // clampAxes, then writeFrame with outputs 10 (belt) and 21 (fan).
  void encodeFrame(const double* outputs, const AxisLimit* limits, uint8_t* frame);
  // Outputs 0..5 clamped to their rig limits, as the frame's floats.
  void clampAxes(const double* outputs, const AxisLimit* limits, float* axes);
  // The frame of six axis floats (taken as they are), a belt and a fan value.
  void writeFrame(const float* axes, double belt, double fan, uint8_t* frame);
  // Fan speed byte from output 21: a percentage limited to [0, 100] scaled to 0..255.
  uint8_t fanByte(double output);

 private:
  float axis(int index, double value, const AxisLimit& limit);
  uint32_t unsignedValue(int index, double value);

  std::array<float, kRigAxisCount> lastAxis_{};
  std::array<uint32_t, 2> lastUnsigned_{};
  uint8_t lastFanByte_ = 0;
};

// The values a motion frame carries, as the rig reads them.
struct MotionFrameValues {
  bool markersValid = false;  // FC FC at the start and 0A 0D at the end
  std::array<float, kRigAxisCount> axes{};
  uint32_t belt = 0;
  uint32_t fan = 0;
};

// Reads a 36-byte motion frame (header-only: the demo host and the tests use
// it without linking the library's internals).
inline MotionFrameValues decodeMotionFrame(const uint8_t* frame) {
  MotionFrameValues values;
  values.markersValid = frame[0] == 0xFC && frame[1] == 0xFC && frame[34] == 0x0A && frame[35] == 0x0D;
  for (int i = 0; i < kRigAxisCount; ++i) {
    const uint8_t* at = frame + kFrameAxesOffset + 4 * i;
    const uint32_t bits = uint32_t{at[0]} | uint32_t{at[1]} << 8 | uint32_t{at[2]} << 16 | uint32_t{at[3]} << 24;
    std::memcpy(&values.axes[static_cast<size_t>(i)], &bits, sizeof bits);
  }
  const auto bigEndian = [frame](int at) {
    return uint32_t{frame[at]} << 24 | uint32_t{frame[at + 1]} << 16 | uint32_t{frame[at + 2]} << 8 |
           uint32_t{frame[at + 3]};
  };
  values.belt = bigEndian(kFrameBeltOffset);
  values.fan = bigEndian(kFrameFanOffset);
  return values;
}

// The last frame sent, published by the engine thread without a lock and
// copied by host threads always as one whole frame (a sequence counter around
// the words; the reader retries while a write is in progress).
class PublishedFrame {
 public:
  // One writer (the engine thread).
  void publish(const uint8_t* frame) noexcept {
    uint32_t words[kWords];
    std::memcpy(words, frame, kOutputFrameSize);
    const uint32_t sequence = sequence_.load(std::memory_order_relaxed);
    sequence_.store(sequence + 1, std::memory_order_relaxed);
    // Release on every word: a reader that sees a new word also sees the odd
    // sequence stored before it.
    for (int i = 0; i < kWords; ++i) words_[static_cast<size_t>(i)].store(words[i], std::memory_order_release);
    sequence_.store(sequence + 2, std::memory_order_release);
  }
  // Any thread.
  void copy(uint8_t* destination) const noexcept;

 private:
  static constexpr int kWords = kOutputFrameSize / 4;
  std::atomic<uint32_t> sequence_{0};
  std::array<std::atomic<uint32_t>, kWords> words_{};
};

}  // namespace portrelay
