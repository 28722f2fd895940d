// The message exports: extraction, routing, reading, and the link settings.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "link_fixture.h"
#include "portrelay/portrelay.h"
#include "riglink/link_state.h"

namespace portrelay {
namespace {

using testing::bytesOf;

class MessageApi : public ::testing::Test {
 protected:
  void SetUp() override { link().setRelayRunning(1); }
  RigLink& link() { return *link_; }
  std::unique_ptr<RigLink> link_ = std::make_unique<RigLink>();
  static void fill(MessageQueue& queue, size_t count) {
    const auto m = bytesOf({0xF9, 0xF9, 0x07, 0x00, 0x00, 0x00, 0x0A, 0x0D});
    for (size_t i = 0; i < count; ++i) queue.pushIfBelow(m.data(), m.size(), kReceiveQueueBound);
  }
  static std::vector<uint8_t> front(MessageQueue& queue) {
    uint8_t out[kMaxMessageLength];
    const auto length = queue.copyFront(out);
    return length ? std::vector<uint8_t>(out, out + *length) : std::vector<uint8_t>{};
  }
};

const std::vector<uint8_t> kMessage = bytesOf({0xF9, 0xF9, 0x10, 0x00, 0x01, 0x00, 0x0A, 0x0D});
constexpr uint32_t kRigAddress = 0x0100007F;  // 127.0.0.1, network byte order

TEST_F(MessageApi, RefusedWhileNoLinkRuns) {
  link().setRelayRunning(0);
  EXPECT_EQ(link().sendMessage(kMessage.data()), -1);
  EXPECT_TRUE(link().serialTxQueue().empty());
  EXPECT_TRUE(link().networkTxQueue().empty());
  link().setNetworkRunning(1);
  EXPECT_EQ(link().sendMessage(kMessage.data()), 1);
  EXPECT_EQ(link().sendMessage(nullptr), -1);
}

TEST_F(MessageApi, TerminatorMustEndWithinFirst512Bytes) {
  std::vector<uint8_t> buffer(600, 0x00);
  buffer[510] = 0x0A;
  buffer[511] = 0x0D;
  EXPECT_EQ(link().sendMessage(buffer.data()), 1);
  EXPECT_EQ(front(link().serialTxQueue()).size(), 512u);

  std::vector<uint8_t> beyond(600, 0x00);
  beyond[511] = 0x0A;
  beyond[512] = 0x0D;
  EXPECT_EQ(link().sendMessage(beyond.data()), -1);
  EXPECT_EQ(link().autoMessage(beyond.data()), 0);
}

TEST_F(MessageApi, InnerPairCutsTheMessage) {
  const auto buffer = bytesOf({0xF9, 0xF9, 0x0A, 0x0D, 0x05, 0x06, 0x0A, 0x0D});
  EXPECT_EQ(link().sendMessage(buffer.data()), 1);
  EXPECT_EQ(front(link().serialTxQueue()), bytesOf({0xF9, 0xF9, 0x0A, 0x0D}));
}

TEST_F(MessageApi, MotionFrameKeepsItsFullLength) {
  std::vector<uint8_t> frame(36, 0x00);
  frame[0] = frame[1] = 0xFC;
  frame[10] = 0x0A;  // a float whose bytes hold the pair
  frame[11] = 0x0D;
  frame[34] = 0x0A;
  frame[35] = 0x0D;
  EXPECT_EQ(link().queueMotionFrame(frame.data(), frame.size()), 1);
  EXPECT_EQ(front(link().serialTxQueue()), frame);
  EXPECT_EQ(front(link().networkTxQueue()), frame);
  frame[35] = 0x00;
  EXPECT_EQ(link().queueMotionFrame(frame.data(), frame.size()), -1);
}

TEST_F(MessageApi, RoutingFollowsTheValidLink) {
  struct Case {
    LinkTransport transport;
    size_t serialFill, networkFill;
    int32_t result;
    size_t serialAfter, networkAfter;
  };
  const Case cases[] = {
      {LinkTransport::undecided, 0, 0, 1, 1, 1},        // nobody heard the rig yet: both
      {LinkTransport::undecided, 150, 0, 1, 150, 1},      // ... queued while either takes it
      {LinkTransport::undecided, 150, 150, -1, 150, 150},  // ... refused when neither did
      {LinkTransport::serial, 0, 0, 1, 1, 0},
      {LinkTransport::serial, 150, 0, -1, 150, 0},
      {LinkTransport::udp, 0, 0, 1, 0, 1},
      {LinkTransport::udp, 0, 150, -1, 0, 150},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << static_cast<int>(c.transport) << ' ' << c.serialFill << ' '
                                      << c.networkFill);
    link_ = std::make_unique<RigLink>();
    link().setRelayRunning(1);
    if (c.transport == LinkTransport::serial) link().mode().serialHeard();
    if (c.transport == LinkTransport::udp) link().mode().udpHeard(kRigAddress, 0);
    fill(link().serialTxQueue(), c.serialFill);
    fill(link().networkTxQueue(), c.networkFill);
    EXPECT_EQ(link().sendMessage(kMessage.data()), c.result);
    EXPECT_EQ(link().serialTxQueue().size(), c.serialAfter);
    EXPECT_EQ(link().networkTxQueue().size(), c.networkAfter);
  }
}

TEST_F(MessageApi, AutoMessageBoundAndRefusal) {
  ::testing::internal::CaptureStdout();
  link().setRelayRunning(0);
  EXPECT_EQ(link().autoMessage(kMessage.data()), 0);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "no valid data");
  link().setRelayRunning(1);
  for (int i = 0; i < 150; ++i) ASSERT_EQ(link().autoMessage(kMessage.data()), 1);
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(link().autoMessage(kMessage.data()), 0);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(link().autoTxQueue().size(), 150u);
}

TEST_F(MessageApi, ReadChoosesTheTalkingLink) {
  uint8_t destination[512];
  std::memset(destination, 0x77, sizeof destination);
  fill(link().serialRxQueue(), 1);
  fill(link().networkRxQueue(), 2);
  EXPECT_EQ(link().newMessage(), 0);  // no link validated: nothing to read
  EXPECT_EQ(link().readMessage(destination), 0);
  EXPECT_EQ(destination[0], 0x77);

  link().mode().udpHeard(kRigAddress, 0);
  EXPECT_EQ(link().newMessage(), 1);
  EXPECT_EQ(link().readMessage(destination), 8);
  EXPECT_EQ(destination[6], 0x0A);
  EXPECT_EQ(destination[7], 0x0D);
  EXPECT_EQ(destination[8], 0x77);
  EXPECT_EQ(link().networkRxQueue().size(), 1u);

  link().mode().stop();
  link().mode().serialHeard();
  EXPECT_EQ(link().readMessage(destination), 8);
  EXPECT_EQ(link().serialRxQueue().size(), 0u);
  EXPECT_EQ(link().newMessage(), 0);
  std::memset(destination, 0x77, sizeof destination);
  EXPECT_EQ(link().readMessage(destination), 0);
  EXPECT_EQ(destination[0], 0x77);
}

TEST_F(MessageApi, ReadHandsOverWholeFrames) {
  std::vector<uint8_t> frame(465, 0x42);
  frame[0] = frame[1] = 0xFA;
  frame[50] = 0x0A;  // payload bytes that look like a terminator
  frame[51] = 0x0D;
  frame[463] = 0x0A;
  frame[464] = 0x0D;
  link().serialRxQueue().pushIfBelow(frame.data(), frame.size(), kReceiveQueueBound);
  link().mode().serialHeard();
  uint8_t destination[512] = {};
  ASSERT_EQ(link().readMessage(destination), 465);
  EXPECT_EQ(std::vector<uint8_t>(destination, destination + 465), frame);
}

TEST_F(MessageApi, StandardPortTexts) {
  struct Case {
    const char* text;
    int32_t result, port;
  };
  const Case cases[] = {
      {"COM12", 1, 12}, {"\\\\.\\COM3", 1, 3}, {"COMX", 1, 0}, {"COM -4x", 1, -4}, {"xxCOM 7", 1, 7},
      {"com3", 0, 55},  {"", 0, 55},            {"CO", 0, 55},  {nullptr, 0, 55},
  };
  for (const Case& c : cases) {
    link().setStandardPort("COM55");
    EXPECT_EQ(link().setStandardPort(c.text), c.result) << (c.text ? c.text : "null");
    EXPECT_EQ(link().standardPort(), c.port) << (c.text ? c.text : "null");
  }
}

TEST_F(MessageApi, IsConnectedTable) {
  struct Case {
    uint8_t portOpen, networkStarted, relayRunning, networkRunning;
    int32_t connected;
  };
  const Case cases[] = {
      {0, 0, 1, 1, 0}, {1, 0, 1, 0, 1}, {1, 0, 0, 0, 0}, {0, 1, 0, 1, 1}, {0, 1, 0, 0, 0}, {0, 1, 1, 0, 1},
  };
  for (const Case& c : cases) {
    link().setPortOpen(c.portOpen);
    link().setNetworkStarted(c.networkStarted);
    link().setRelayRunning(c.relayRunning);
    link().setNetworkRunning(c.networkRunning);
    EXPECT_EQ(link().isConnected(), c.connected);
  }
}

TEST_F(MessageApi, ResumeWithoutRigGivesUpAfterThreeAttempts) {
  const platform::ScopedPlatform noPorts(platform::FakePlatform().withComPorts({}));
  link().setStandardPort("COM5");
  ::testing::internal::CaptureStdout();
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(link().resumeInterface(), 0);
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "fail vid..fail vid..fail vid..");
  EXPECT_GE(elapsed, std::chrono::milliseconds(1500));
}

// The exports reach the process-wide link (the rest of this file uses a fresh one).
TEST(MessageExports, PauseAndFlags) {
  RigLink& global = RigLink::instance();
  // What an earlier test's rig said (the binary run whole) is not this test's.
  global.mode().stop();
  global.serialRxQueue().clear();
  global.networkRxQueue().clear();
  global.setRelayRunning(1);
  EXPECT_EQ(isInterfaceRunning(), 1);
  global.setPortOpen(1);
  global.setNetworkStarted(1);
  EXPECT_EQ(pauseInterface(), 1);
  EXPECT_EQ(isInterfaceRunning(), 0);
  EXPECT_EQ(global.portOpen(), 0);
  EXPECT_EQ(isConnected(), 1);  // a network link thread was started once
  EXPECT_EQ(enableAutoconnect(), 1);
  EXPECT_EQ(global.autoconnect(), 1);
  EXPECT_EQ(resumeInterface(), 1);  // the scan takes over
  EXPECT_EQ(isInterfaceRunning(), 1);
  EXPECT_EQ(disableAutoconnect(), 1);
  EXPECT_EQ(global.autoconnect(), 0);
  EXPECT_EQ(sendMessagemmf(kMessage.data()), 1);
  uint8_t none[512];
  EXPECT_EQ(readMessagemmf(none), 0);
  EXPECT_EQ(newMessagemmf(), 0);
  global.serialTxQueue().clear();
  global.networkTxQueue().clear();
  global.setNetworkStarted(0);
  global.setRelayRunning(0);
}

}  // namespace
}  // namespace portrelay
