#include "engine/output_frame.h"

#include <cfloat>
#include <cmath>
#include <cstring>
#include <thread>

#include "engine/cue_tables.h"

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

// A rig limit as a float: a non-finite bound is the safe value 0 (it must
// never switch the clamp off), a finite one beyond the float range saturates.
float limitBound(double bound) {
  if (!std::isfinite(bound)) return 0.0f;
  if (bound > FLT_MAX) return FLT_MAX;
  if (bound < -FLT_MAX) return -FLT_MAX;
  return static_cast<float>(bound);
}

}  // namespace

float OutputEncoder::axis(int index, double value, const AxisLimit& limit) {
  const float v = static_cast<float>(value);
  const float lo = limitBound(limit.min);
  const float hi = limitBound(limit.max);
  if (std::isnan(v)) return lastAxis_[static_cast<size_t>(index)];
  // A limit of min above max is applied as set: min wins below, max above.
  const float limited = lo > v ? lo : (hi < v ? hi : v);
  lastAxis_[static_cast<size_t>(index)] = limited;
  return limited;
}

uint32_t OutputEncoder::unsignedValue(int index, double value) {
  const float u = static_cast<float>(value);
  if (std::isnan(u)) return lastUnsigned_[static_cast<size_t>(index)];
  const float limited = u < 0.0f ? 0.0f : (u > 4294967296.0f ? 4294967296.0f : u);
  const uint32_t result = limited >= 4294967295.0f ? 0xFFFFFFFFu : static_cast<uint32_t>(limited);
  lastUnsigned_[static_cast<size_t>(index)] = result;
  return result;
}

void OutputEncoder::encodeFrame(const double* outputs, const AxisLimit* limits, uint8_t* frame) {
  float axes[kRigAxisCount];
  clampAxes(outputs, limits, axes);
  writeFrame(axes, outputs[cue::belt], outputs[cue::fan], frame);
}

void OutputEncoder::clampAxes(const double* outputs, const AxisLimit* limits, float* axes) {
  for (int i = 0; i < kRigAxisCount; ++i) axes[i] = axis(i, outputs[i], limits[i]);
}

void OutputEncoder::writeFrame(const float* axes, double belt, double fan, uint8_t* frame) {
  frame[0] = 0xFC;
  frame[1] = 0xFC;
  for (int i = 0; i < kRigAxisCount; ++i) putLittleEndianFloat(frame + kFrameAxesOffset + 4 * i, axes[i]);
  putBigEndian(frame + kFrameBeltOffset, unsignedValue(0, belt));
  putBigEndian(frame + kFrameFanOffset, unsignedValue(1, fan));
  frame[34] = 0x0A;
  frame[35] = 0x0D;
}

uint8_t OutputEncoder::fanByte(double output) {
  const float v = static_cast<float>(output);
  if (std::isnan(v)) return lastFanByte_;
  const float percent = v < 0.0f ? 0.0f : (v > 100.0f ? 100.0f : v);
  lastFanByte_ = static_cast<uint8_t>(percent / 100.0f * 255.0f);
  return lastFanByte_;
}

void PublishedFrame::copy(uint8_t* destination) const noexcept {
  uint32_t words[kWords];
  for (int attempt = 0;; ++attempt) {
    const uint32_t before = sequence_.load(std::memory_order_acquire);
    if ((before & 1u) == 0) {
      // Acquire on every word keeps the second sequence load after them.
      for (int i = 0; i < kWords; ++i) words[i] = words_[static_cast<size_t>(i)].load(std::memory_order_acquire);
      if (sequence_.load(std::memory_order_relaxed) == before) break;
    }
    // The engine writes a frame in nanoseconds; only a writer preempted in the
    // middle keeps a reader here, and that reader gives way.
    if (attempt >= 16) std::this_thread::yield();
  }
  std::memcpy(destination, words, kOutputFrameSize);
}

}  // namespace portrelay
