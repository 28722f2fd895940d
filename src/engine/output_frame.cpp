#include "engine/output_frame.h"

#include <cmath>
#include <cstring>

namespace portrelay {
namespace {

void putLittleEndianFloat(uint8_t* out, float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  for (int i = 0; i < 4; ++i) out[i] = static_cast<uint8_t>(bits >> (8 * i));
}

void putBigEndian(uint8_t* out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out[i] = static_cast<uint8_t>(value >> (8 * (3 - i)));
}

}  // namespace

float OutputEncoder::axis(int index, double value, const AxisLimit& limit) {
  const float v = static_cast<float>(value);
  const float lo = static_cast<float>(limit.min);
  const float hi = static_cast<float>(limit.max);
  // A limit of min above max is applied as set: min wins below, max above.
  float limited = lo > v ? lo : (hi < v ? hi : v);
  if (!std::isfinite(limited)) return lastAxis_[static_cast<size_t>(index)];
  lastAxis_[static_cast<size_t>(index)] = limited;
  return limited;
}

uint32_t OutputEncoder::unsignedValue(int index, double value) {
  const float u = static_cast<float>(value);
  if (!std::isfinite(u)) return lastUnsigned_[static_cast<size_t>(index)];
  const float limited = u < 0.0f ? 0.0f : (u > 4294967296.0f ? 4294967296.0f : u);
  const uint32_t result = limited >= 4294967295.0f ? 0xFFFFFFFFu : static_cast<uint32_t>(limited);
  lastUnsigned_[static_cast<size_t>(index)] = result;
  return result;
}

void OutputEncoder::encodeFrame(const double* outputs, const AxisLimit* limits, uint8_t* frame) {
  frame[0] = 0xFC;
  frame[1] = 0xFC;
  for (int i = 0; i < kRigAxisCount; ++i) putLittleEndianFloat(frame + 2 + 4 * i, axis(i, outputs[i], limits[i]));
  putBigEndian(frame + 26, unsignedValue(0, outputs[10]));
  putBigEndian(frame + 30, unsignedValue(1, outputs[21]));
  frame[34] = 0x0A;
  frame[35] = 0x0D;
}

uint8_t OutputEncoder::fanByte(double output) {
  const float v = static_cast<float>(output);
  if (!std::isfinite(v)) return lastFanByte_;
  const float percent = v < 0.0f ? 0.0f : (v > 100.0f ? 100.0f : v);
  lastFanByte_ = static_cast<uint8_t>(percent / 100.0f * 255.0f);
  return lastFanByte_;
}

}  // namespace portrelay
