// Cutting the simulator's byte stream into whole messages.
#include <gtest/gtest.h>

#include <vector>

#include "simclient/receive_queue.h"

namespace portrelay::simclient {
namespace {

// A message of `size` bytes; a size field beyond any message gets 16 bytes only.
std::vector<uint8_t> messageOf(uint32_t size, uint8_t fill) {
  std::vector<uint8_t> m(size < 4 ? 4 : size > 100000 ? 16 : size, fill);
  for (int i = 0; i < 4; ++i) m[static_cast<size_t>(i)] = static_cast<uint8_t>(size >> (8 * i));
  return m;
}

struct Case {
  const char* name;
  std::vector<std::vector<uint8_t>> messages;  // sent back to back
  size_t chunk;                                 // bytes per delivery
  std::vector<uint32_t> expectedSizes;          // whole messages taken, in order
  bool corrupt;
};

TEST(ReceiveQueue, SplitsStreamsIntoWholeMessages) {
  const std::vector<Case> cases = {
      {"two in one read", {messageOf(16, 1), messageOf(176, 2)}, 4096, {16, 176}, false},
      {"byte by byte", {messageOf(24, 1), messageOf(12, 2), messageOf(176, 3)}, 1, {24, 12, 176}, false},
      {"odd chunks", {messageOf(176, 1), messageOf(176, 2), messageOf(176, 3)}, 7, {176, 176, 176}, false},
      {"short message framed", {messageOf(8, 1), messageOf(16, 2)}, 5, {8, 16}, false},
      {"largest message", {messageOf(41088, 1), messageOf(12, 2)}, 1000, {41088, 12}, false},
      {"size zero", {messageOf(16, 1), messageOf(0, 0), messageOf(16, 2)}, 3, {16}, true},
      {"size three", {messageOf(3, 0)}, 64, {}, true},
      {"larger than any message", {messageOf(12, 1), messageOf(41089, 2)}, 64, {12}, true},
      {"size field beyond 2^31", {messageOf(0x80000010u, 1)}, 64, {}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<uint8_t> stream;
    for (const auto& m : c.messages) stream.insert(stream.end(), m.begin(), m.end());
    ReceiveQueue queue(41088);
    std::vector<uint32_t> taken;
    for (size_t at = 0; at < stream.size(); at += c.chunk) {
      const size_t n = std::min(c.chunk, stream.size() - at);
      queue.push(stream.data() + at, n);
      // Take what is whole, as the client does between reads.
      for (auto m = queue.front(); !m.empty(); m = queue.front()) {
        EXPECT_EQ(messageU32(m, 0), m.size());
        if (m.size() > 4) {
          EXPECT_EQ(m.back(), m[4]);  // its own bytes, whole
        }
        taken.push_back(static_cast<uint32_t>(m.size()));
        queue.pop();
      }
    }
    EXPECT_EQ(taken, c.expectedSizes);
    EXPECT_EQ(queue.corrupt(), c.corrupt);
    EXPECT_EQ(queue.count(), 0u);
  }
}

TEST(ReceiveQueue, MessagesWaitInOrderAndRoomStaysForTheLargest) {
  ReceiveQueue queue(100);
  const auto a = messageOf(60, 1), b = messageOf(30, 2), c = messageOf(100, 3);
  ASSERT_TRUE(queue.push(a.data(), a.size()));
  ASSERT_TRUE(queue.push(b.data(), b.size()));
  ASSERT_TRUE(queue.push(c.data(), 50));  // half of c
  EXPECT_EQ(queue.count(), 2u);
  EXPECT_EQ(queue.bytes(), 90u);
  queue.pop();
  queue.pop();
  EXPECT_GE(queue.space().size(), 100u);  // the half message moved to the front
  ASSERT_TRUE(queue.push(c.data() + 50, 50));
  ASSERT_EQ(queue.front().size(), 100u);
  EXPECT_EQ(queue.front()[99], 3);
  // Whole messages not taken yet can fill the buffer; further bytes are refused.
  queue.pop();
  for (int i = 0; i < 2; ++i) ASSERT_TRUE(queue.push(c.data(), c.size()));
  EXPECT_FALSE(queue.push(c.data(), c.size()));
  EXPECT_FALSE(queue.corrupt());
  EXPECT_EQ(queue.count(), 2u);
}

}  // namespace
}  // namespace portrelay::simclient
