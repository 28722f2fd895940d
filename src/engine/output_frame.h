// The 36-byte motion frame sent to the rig controller every cycle, and the fan byte.
#pragma once
#include <array>
#include <cstdint>

namespace portrelay {

inline constexpr int kRigAxisCount = 6;  // sway, surge, heave, yaw, roll, pitch

// Rig limit of one axis, as set by the host.
struct AxisLimit {
  double min;
  double max;
};

// Builds frames and fan bytes. Keeps the last finite value of every field so
// that a non-finite output (a NaN or infinity from a game or a filter) never
// reaches the rig: the field repeats what the rig last received instead.
class OutputEncoder {
 public:
  // Frame layout: FC FC, six little-endian floats (outputs 0..5 clamped to their
  // rig limits), belt value (output 10) and fan value (output 21) as big-endian
  // unsigned 32-bit, then 0A 0D.
  void encodeFrame(const double* outputs, const AxisLimit* limits, uint8_t* frame);
  // Fan speed byte from output 21: a percentage limited to [0, 100] scaled to 0..255.
  uint8_t fanByte(double output);

 private:
  float axis(int index, double value, const AxisLimit& limit);
  uint32_t unsignedValue(int index, double value);

  std::array<float, kRigAxisCount> lastAxis_{};
  std::array<uint32_t, 2> lastUnsigned_{};
  uint8_t lastFanByte_ = 0;
};

}  // namespace portrelay
