#include "engine/output_frame.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <limits>
#include <thread>

namespace portrelay {
namespace {

constexpr double kNan = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

struct Frame {
  uint8_t bytes[kOutputFrameSize];
  MotionFrameValues values() const { return decodeMotionFrame(bytes); }
  float axis(int i) const { return values().axes[static_cast<size_t>(i)]; }
};

Frame encode(OutputEncoder& encoder, double out0, double belt, double fan, AxisLimit limit0 = {-1.0, 1.0}) {
  double outputs[23] = {};
  outputs[0] = out0;
  outputs[10] = belt;
  outputs[21] = fan;
  AxisLimit limits[6] = {limit0, {-1, 1}, {-1, 1}, {-1, 1}, {-1, 1}, {-1, 1}};
  Frame frame{};
  encoder.encodeFrame(outputs, limits, frame.bytes);
  return frame;
}

TEST(OutputFrame, LayoutAndMarkers) {
  OutputEncoder encoder;
  double outputs[23] = {0.5, -0.25, 0.125, 0.0, 1.0, -1.0};
  AxisLimit limits[6] = {{-1, 1}, {-1, 1}, {-1, 1}, {-1, 1}, {-1, 1}, {-1, 1}};
  Frame frame{};
  encoder.encodeFrame(outputs, limits, frame.bytes);
  EXPECT_EQ(frame.bytes[0], 0xFC);
  EXPECT_EQ(frame.bytes[1], 0xFC);
  EXPECT_EQ(frame.bytes[34], 0x0A);
  EXPECT_EQ(frame.bytes[35], 0x0D);
  EXPECT_TRUE(frame.values().markersValid);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(frame.axis(i), static_cast<float>(outputs[i])) << i;
  // 0.5f is 00 00 00 3F little-endian.
  EXPECT_EQ(frame.bytes[2], 0x00);
  EXPECT_EQ(frame.bytes[5], 0x3F);
}

TEST(OutputFrame, RigLimits) {
  OutputEncoder encoder;
  EXPECT_EQ(encode(encoder, 3.5, 0, 0).axis(0), 1.0f);
  EXPECT_EQ(encode(encoder, -7.0, 0, 0).axis(0), -1.0f);
  // min above max: min wins below it, max above it.
  EXPECT_EQ(encode(encoder, 0.0, 0, 0, {1.0, -1.0}).axis(0), 1.0f);
  EXPECT_EQ(encode(encoder, 2.0, 0, 0, {1.0, -1.0}).axis(0), -1.0f);
  // Default limits of (0, 0) hold every axis at 0.
  EXPECT_EQ(encode(encoder, 2.0, 0, 0, {0.0, 0.0}).axis(0), 0.0f);
  // A non-finite limit never switches the clamp off: it counts as 0.
  EXPECT_EQ(encode(encoder, 448.0, 0, 0, {kNan, kNan}).axis(0), 0.0f);
  EXPECT_EQ(encode(encoder, 925.8, 0, 0, {-kInf, kInf}).axis(0), 0.0f);
  EXPECT_EQ(encode(encoder, -0.25, 0, 0, {-kInf, 1.0}).axis(0), 0.0f);
  // A finite limit beyond the float range saturates instead.
  EXPECT_EQ(encode(encoder, 0.25, 0, 0, {-1e300, 1e300}).axis(0), 0.25f);
}

TEST(OutputFrame, BeltAndFanValuesBigEndian) {
  OutputEncoder encoder;
  Frame frame = encode(encoder, 0, -5.0, 258.0);
  EXPECT_EQ(frame.values().belt, 0u);
  EXPECT_EQ(frame.bytes[30], 0x00);
  EXPECT_EQ(frame.bytes[31], 0x00);
  EXPECT_EQ(frame.bytes[32], 0x01);
  EXPECT_EQ(frame.bytes[33], 0x02);
  frame = encode(encoder, 0, 5e9, 4294967295.0);
  EXPECT_EQ(frame.values().belt, 0xFFFFFFFFu);
  EXPECT_EQ(frame.values().fan, 0xFFFFFFFFu);
  frame = encode(encoder, 0, 1234.9, 0.0);
  EXPECT_EQ(frame.values().belt, 1234u);
}

// NaN holds the field's last value; infinities are limited like any value.
TEST(OutputFrame, NonFiniteOutputs) {
  OutputEncoder encoder;
  encode(encoder, 0.75, 300.0, 40.0);
  Frame frame = encode(encoder, kNan, kNan, kNan);
  EXPECT_EQ(frame.axis(0), 0.75f);
  EXPECT_EQ(frame.values().belt, 300u);
  EXPECT_EQ(frame.values().fan, 40u);
  frame = encode(encoder, kInf, -kInf, kInf);
  EXPECT_EQ(frame.axis(0), 1.0f);
  EXPECT_EQ(frame.values().belt, 0u);
  EXPECT_EQ(frame.values().fan, 0xFFFFFFFFu);
  frame = encode(encoder, -kInf, kInf, -kInf);
  EXPECT_EQ(frame.axis(0), -1.0f);
  EXPECT_EQ(frame.values().belt, 0xFFFFFFFFu);
  EXPECT_EQ(frame.values().fan, 0u);
  // After the infinities a NaN repeats what they gave.
  frame = encode(encoder, kNan, kNan, kNan);
  EXPECT_EQ(frame.axis(0), -1.0f);
  EXPECT_EQ(frame.values().belt, 0xFFFFFFFFu);
  EXPECT_EQ(frame.values().fan, 0u);
}

TEST(OutputFrame, FanByte) {
  OutputEncoder encoder;
  EXPECT_EQ(encoder.fanByte(50.0), 127);
  EXPECT_EQ(encoder.fanByte(150.0), 255);
  EXPECT_EQ(encoder.fanByte(-3.0), 0);
  EXPECT_EQ(encoder.fanByte(100.0), 255);
  EXPECT_EQ(encoder.fanByte(40.0), 102);
  EXPECT_EQ(encoder.fanByte(kNan), 102);
  EXPECT_EQ(encoder.fanByte(kInf), 255);
  EXPECT_EQ(encoder.fanByte(kNan), 255);
  EXPECT_EQ(encoder.fanByte(-kInf), 0);
}

// A host copy is always one whole frame, while the engine publishes frames
// whose bytes all differ from the previous one's.
TEST(OutputFrame, PublishedFrameIsNeverTorn) {
  PublishedFrame published;
  std::atomic<bool> done{false};
  std::thread writer([&] {
    uint8_t frame[kOutputFrameSize];
    for (int n = 1; n <= 200000; ++n) {
      std::memset(frame, n & 0xFF, sizeof frame);
      published.publish(frame);
    }
    done = true;
  });
  int copies = 0, torn = 0;
  while (!done.load() || copies < 1000) {
    uint8_t copy[kOutputFrameSize];
    published.copy(copy);
    for (uint8_t b : copy) torn += b != copy[0] ? 1 : 0;
    ++copies;
  }
  writer.join();
  EXPECT_EQ(torn, 0) << "over " << copies << " copies";
}

}  // namespace
}  // namespace portrelay
