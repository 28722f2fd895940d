#include "riglink/frame_parser.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <random>

#include "link_fixture.h"
#include "riglink/crc16.h"

namespace portrelay {
namespace {

using testing::bytesOf;

std::vector<uint8_t> withCrc(std::vector<uint8_t> frame) {
  storeCrcInEndPair(frame.data(), frame.size());
  return frame;
}

std::vector<uint8_t> frameOf(uint8_t header, size_t length, bool terminated) {
  std::vector<uint8_t> frame(length, 0x21);
  frame[0] = frame[1] = header;
  frame[length - 2] = 0x0A;
  frame[length - 1] = 0x0D;
  return terminated ? frame : withCrc(frame);
}

std::vector<uint8_t> front(MessageQueue& queue) {
  uint8_t out[kMaxMessageLength];
  const auto length = queue.copyFront(out);
  return length ? std::vector<uint8_t>(out, out + *length) : std::vector<uint8_t>{};
}

struct Parse {
  MessageQueue queue;
  std::atomic<uint8_t> autoChecksum{0};
  int operator()(std::vector<uint8_t>& input) { return parseFrames(input, queue, autoChecksum); }
};

TEST(FrameParser, ChecksummedFrameQueuedTerminated) {
  Parse parse;
  auto input = bytesOf({0xF9, 0xF9, 0x01, 0x00, 0x01, 0x00, 0x88, 0x11});
  EXPECT_EQ(parse(input), 1);
  EXPECT_TRUE(input.empty());
  EXPECT_EQ(front(parse.queue), bytesOf({0xF9, 0xF9, 0x01, 0x00, 0x01, 0x00, 0x0A, 0x0D}));
}

TEST(FrameParser, NoiseBeforeFrameDroppedByteByByte) {
  Parse parse;
  auto input = bytesOf({0x01, 0xF9, 0x33, 0xF9, 0xF9, 0x01, 0x00, 0x01, 0x00, 0x0A, 0x0D});
  EXPECT_EQ(parse(input), 1);
  EXPECT_TRUE(input.empty());
  EXPECT_EQ(parse.queue.size(), 1u);
}

TEST(FrameParser, SevenBytesUntouched) {
  Parse parse;
  auto input = bytesOf({0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06});
  const auto before = input;
  EXPECT_EQ(parse(input), 0);
  EXPECT_EQ(input, before);
}

TEST(FrameParser, PartialFramesWaitForTheirRest) {
  for (uint8_t header : {0xF8, 0xFA, 0xFB}) {
    Parse parse;
    std::vector<uint8_t> input(22, 0x00);
    input[0] = input[1] = header;
    EXPECT_EQ(parse(input), 0);
    EXPECT_EQ(input.size(), 22u);
  }
}

TEST(FrameParser, WrongChecksumLosesOnlyFirstByte) {
  Parse parse;
  auto input = frameOf(0xF8, 38, false);
  input[36] ^= 0xFF;  // spoil the CRC
  // A valid short frame inside the payload is found by the following steps.
  const auto inner = bytesOf({0xF9, 0xF9, 0x05, 0x00, 0x01, 0x00, 0x0A, 0x0D});
  std::copy(inner.begin(), inner.end(), input.begin() + 10);
  EXPECT_EQ(parse(input), 1);
  EXPECT_EQ(front(parse.queue), inner);
  EXPECT_EQ(input.size(), 7u);  // the rest is noise, dropped down to the last 7 bytes
}

TEST(FrameParser, SealedFrameNeedsItsChecksum) {
  Parse parse;
  auto input = frameOf(0xFB, 78, true);  // ends in 0x0A 0x0D, CRC does not match
  EXPECT_EQ(parse(input), 0);
  EXPECT_TRUE(parse.queue.empty());
  auto sealed = frameOf(0xFB, 78, false);
  EXPECT_EQ(parse(sealed), 1);
  EXPECT_EQ(front(parse.queue).size(), 78u);
}

TEST(FrameParser, LongestFrameQueuedWhole) {
  Parse parse;
  auto input = frameOf(0xFA, 465, true);
  input[100] = 0x0A;  // an inner pair is payload, not an end
  input[101] = 0x0D;
  EXPECT_EQ(parse(input), 1);
  EXPECT_EQ(front(parse.queue).size(), 465u);
}

TEST(FrameParser, QueueBoundDropsButStillConsumes) {
  Parse parse;
  const auto frame = frameOf(0xF9, 8, true);
  for (int i = 0; i < 151; ++i) ASSERT_TRUE(parse.queue.pushIfBelow(frame.data(), frame.size(), kReceiveQueueBound));
  auto input = frame;
  input.insert(input.end(), frame.begin(), frame.end());
  EXPECT_EQ(parse(input), 1);
  EXPECT_TRUE(input.empty());
  EXPECT_EQ(parse.queue.size(), 151u);
}

TEST(FrameParser, LevelRuleSetsAutoChecksum) {
  struct Case {
    uint8_t units, hundreds, messageClass;
    bool checksummed;
    uint8_t expected;
  };
  const Case cases[] = {
      {28, 3, 2, false, 1}, {28, 3, 2, true, 1}, {27, 3, 2, false, 0},
      {0, 4, 2, false, 1},  {28, 0x83, 2, false, 0}, {28, 3, 3, false, 0},
  };
  for (const Case& c : cases) {
    Parse parse;
    std::vector<uint8_t> input = bytesOf({0xF9, 0xF9, c.messageClass, 0x00, c.units, c.hundreds, 0x0A, 0x0D});
    if (c.checksummed) input = withCrc(input);
    EXPECT_EQ(parse(input), 1);
    EXPECT_EQ(parse.autoChecksum.load(), c.expected) << int(c.units) << " " << int(c.hundreds);
  }
}

// The parser as first written: a candidate that fails is dropped one byte at
// a time and the next one's CRC computed afresh (bit by bit, independent of
// the library's table). Slow on runs of header bytes, but plainly right.
std::vector<std::vector<uint8_t>> plainParse(std::vector<uint8_t> input) {
  auto crc = [](const uint8_t* data, size_t n) {
    uint16_t c = 0;
    for (size_t i = 0; i < n; ++i) {
      c ^= data[i];
      for (int bit = 0; bit < 8; ++bit) c = (c & 1) ? static_cast<uint16_t>((c >> 1) ^ 0xA001) : c >> 1;
    }
    return c;
  };
  std::vector<std::vector<uint8_t>> frames;
  size_t at = 0;
  while (input.size() - at >= 8) {
    const uint8_t h = input[at];
    const size_t n = input[at + 1] != h ? 0 : h == 0xF9 ? 8 : h == 0xF8 ? 38 : h == 0xFA ? 465 : h == 0xFB ? 78 : 0;
    if (n == 0) { ++at; continue; }
    if (input.size() - at < n) break;
    std::vector<uint8_t> frame(input.begin() + at, input.begin() + at + n);
    const bool terminated = h != 0xFB && frame[n - 2] == 0x0A && frame[n - 1] == 0x0D;
    const uint16_t c = crc(frame.data(), n - 2);
    if (!terminated && (frame[n - 2] != (c & 0xFF) || frame[n - 1] != (c >> 8))) { ++at; continue; }
    frame[n - 2] = 0x0A;
    frame[n - 1] = 0x0D;
    frames.push_back(std::move(frame));
    at += n;
  }
  return frames;
}

// The fastest of five parses of a copy of input.
std::chrono::nanoseconds fastestParse(const std::vector<uint8_t>& input, std::vector<std::vector<uint8_t>>& found) {
  auto fastest = std::chrono::nanoseconds::max();
  for (int run = 0; run < 5; ++run) {
    Parse parse;
    auto buffer = input;
    const auto start = std::chrono::steady_clock::now();
    parse(buffer);
    fastest = std::min<std::chrono::nanoseconds>(fastest, std::chrono::steady_clock::now() - start);
    found.clear();
    while (!parse.queue.empty()) found.push_back(front(parse.queue)), parse.queue.popFront();
  }
  return fastest;
}

// 8 KiB of one header byte (a flood of garbage datagrams), alone and with
// valid frames of every kind hidden in it: the same frames as the plain
// parser, each in a small multiple of the time 8 KiB without any header
// take (a CRC computed afresh at every byte costs up to 463 times that).
TEST(FrameParser, RunsOfHeaderBytesCostLinearTime) {
  std::vector<std::vector<uint8_t>> none;
  const auto plainBytes = fastestParse(std::vector<uint8_t>(8192, 0x00), none);
  ASSERT_TRUE(none.empty());
  std::mt19937 random(7);
  for (int header = 0xF8; header <= 0xFC; ++header) {
    for (bool withFrames : {false, true}) {
      SCOPED_TRACE(::testing::Message() << std::hex << header << (withFrames ? " with frames" : ""));
      std::vector<uint8_t> input(8192, static_cast<uint8_t>(header));
      if (withFrames) {
        const std::vector<uint8_t> hidden[] = {frameOf(0xF9, 8, false), frameOf(0xF8, 38, false),
                                               frameOf(0xFA, 465, false), frameOf(0xFB, 78, false),
                                               frameOf(0xF8, 38, true)};
        for (const auto& frame : hidden) {
          const size_t at = random() % (input.size() - frame.size());
          std::copy(frame.begin(), frame.end(), input.begin() + static_cast<std::ptrdiff_t>(at));
        }
      }
      const auto expected = plainParse(input);
      std::vector<std::vector<uint8_t>> found;
      const auto fastest = fastestParse(input, found);
      EXPECT_EQ(found, expected);
      EXPECT_EQ(withFrames, !expected.empty());
      EXPECT_LT(fastest, 25 * plainBytes);
      std::printf("parse of 8 KiB of 0x%02X%s: %.1f us (no header: %.1f us)\n", header,
                  withFrames ? " with frames" : "", static_cast<double>(fastest.count()) / 1000.0,
                  static_cast<double>(plainBytes.count()) / 1000.0);
    }
  }
}

}  // namespace
}  // namespace portrelay
