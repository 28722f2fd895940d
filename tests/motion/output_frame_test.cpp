#include "engine/output_frame.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

namespace portrelay {
namespace {

struct Frame {
  uint8_t bytes[36];
  float axis(int i) const {
    float v;
    std::memcpy(&v, bytes + 2 + 4 * i, 4);
    return v;
  }
  uint32_t bigEndian(int offset) const {
    return uint32_t{bytes[offset]} << 24 | uint32_t{bytes[offset + 1]} << 16 | uint32_t{bytes[offset + 2]} << 8 |
           bytes[offset + 3];
  }
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
}

TEST(OutputFrame, BeltAndFanValuesBigEndian) {
  OutputEncoder encoder;
  Frame frame = encode(encoder, 0, -5.0, 258.0);
  EXPECT_EQ(frame.bigEndian(26), 0u);
  EXPECT_EQ(frame.bytes[30], 0x00);
  EXPECT_EQ(frame.bytes[31], 0x00);
  EXPECT_EQ(frame.bytes[32], 0x01);
  EXPECT_EQ(frame.bytes[33], 0x02);
  frame = encode(encoder, 0, 5e9, 4294967295.0);
  EXPECT_EQ(frame.bigEndian(26), 0xFFFFFFFFu);
  EXPECT_EQ(frame.bigEndian(30), 0xFFFFFFFFu);
  frame = encode(encoder, 0, 1234.9, 0.0);
  EXPECT_EQ(frame.bigEndian(26), 1234u);
}

TEST(OutputFrame, NonFiniteOutputsHoldTheLastValueSent) {
  OutputEncoder encoder;
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  encode(encoder, 0.75, 300.0, 40.0);
  Frame frame = encode(encoder, nan, nan, nan);
  EXPECT_EQ(frame.axis(0), 0.75f);
  EXPECT_EQ(frame.bigEndian(26), 300u);
  EXPECT_EQ(frame.bigEndian(30), 40u);
  frame = encode(encoder, inf, -inf, inf, {-inf, inf});
  EXPECT_EQ(frame.axis(0), 0.75f);
  EXPECT_EQ(frame.bigEndian(26), 300u);
  // A finite value after the fault goes through again.
  EXPECT_EQ(encode(encoder, -0.5, 1.0, 2.0).axis(0), -0.5f);
  // NaN limits do not let a NaN through either.
  EXPECT_EQ(encode(encoder, nan, 0, 0, {nan, nan}).axis(0), -0.5f);
}

TEST(OutputFrame, FanByte) {
  OutputEncoder encoder;
  EXPECT_EQ(encoder.fanByte(50.0), 127);
  EXPECT_EQ(encoder.fanByte(150.0), 255);
  EXPECT_EQ(encoder.fanByte(-3.0), 0);
  EXPECT_EQ(encoder.fanByte(100.0), 255);
  EXPECT_EQ(encoder.fanByte(40.0), 102);
  EXPECT_EQ(encoder.fanByte(std::nan("")), 102);
  EXPECT_EQ(encoder.fanByte(std::numeric_limits<double>::infinity()), 102);
}

}  // namespace
}  // namespace portrelay
