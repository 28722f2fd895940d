// The relay loop against the virtual rig: finding it, relaying both ways with
// checksums, the rig vanishing and returning, pause and resume.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <memory>
#include <thread>

#include "link_fixture.h"
#include "riglink/link_state.h"

namespace portrelay {
namespace {

using testing::bytesOf;
using testing::RigOnComPort;
using testing::waitUntil;

// Runs the relay loop on a thread of its own, as a host does.
class RelayThread {
 public:
  explicit RelayThread(RigLink& link) : link_(link), thread_([&link] { link.runRelay(); }) {
    waitUntil([&] { return link_.relayRunning() != 0; }, std::chrono::milliseconds(2000));
  }
  ~RelayThread() {
    link_.stopRelay();
    thread_.join();
  }

 private:
  RigLink& link_;
  std::thread thread_;
};

// Stands in for the engine thread: a motion frame every 2 ms, queued as the
// engine queues it, stamped with the moment it was computed (this process's
// steady clock, in bytes 2..9). Records its longest queueing call.
class MotionFeeder {
 public:
  explicit MotionFeeder(RigLink& link) : link_(link), thread_([this] { run(); }) {}
  ~MotionFeeder() {
    running_ = false;
    thread_.join();
  }
  int64_t longestCallNs() const { return longestCallNs_.load(); }

  static int64_t stampOf(const rigsim::ReceivedFrame& frame) {
    int64_t stamp = 0;
    std::memcpy(&stamp, frame.bytes.data() + 2, sizeof stamp);
    return stamp;
  }

 private:
  void run() {
    while (running_) {
      std::array<uint8_t, 36> frame{};
      frame[0] = frame[1] = 0xFC;
      const int64_t now = rigsim::monotonicNs();
      std::memcpy(frame.data() + 2, &now, sizeof now);
      frame[34] = 0x0A;
      frame[35] = 0x0D;
      link_.queueMotionFrame(frame.data(), frame.size());
      longestCallNs_ = std::max(longestCallNs_.load(), rigsim::monotonicNs() - now);
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  }

  RigLink& link_;
  std::atomic<bool> running_{true};
  std::atomic<int64_t> longestCallNs_{0};
  std::thread thread_;
};

// Every frame the rig received since its last reset, in the order of arrival.
std::vector<rigsim::ReceivedFrame> receivedInOrder(rigsim::SimulatedRig& rig) {
  std::vector<rigsim::ReceivedFrame> all = rig.frames();
  const std::vector<rigsim::ReceivedFrame> motion = rig.motionLog();
  all.insert(all.end(), motion.begin(), motion.end());
  std::sort(all.begin(), all.end(), [](const auto& a, const auto& b) { return a.sequence < b.sequence; });
  return all;
}

bool isShortOfClass(const rigsim::ReceivedFrame& frame, uint8_t messageClass) {
  return frame.bytes.size() == 8 && frame.bytes[2] == messageClass;
}

// One connection as the rig saw it: identity queries, then the greeting
// (class 4, class 2), then motion. Returns the number of motion frames
// computed before the answered identity query (stale ones), wherever they came.
size_t expectGreetingThenLiveMotion(const std::vector<rigsim::ReceivedFrame>& log, int64_t rigClockOffsetNs) {
  const auto greeting = std::find_if(log.begin(), log.end(), [](const auto& f) { return isShortOfClass(f, 0x04); });
  EXPECT_NE(greeting, log.end());
  if (greeting == log.end()) return 0;
  const auto answered = std::find_if(std::make_reverse_iterator(greeting), log.rend(),
                                     [](const auto& f) { return isShortOfClass(f, 0x01); });
  EXPECT_NE(answered, log.rend());
  if (answered == log.rend()) return 0;
  const auto notIdentity = [](const auto& f) { return !isShortOfClass(f, 0x01); };
  EXPECT_EQ(std::count_if(log.begin(), greeting, notIdentity), 0) << "frames ahead of the greeting";
  EXPECT_TRUE(greeting + 1 != log.end() && isShortOfClass(greeting[1], 0x02));
  const int64_t reconnectNs = answered->arrivalNs;
  size_t stale = 0, live = 0;
  int64_t firstLagNs = -1;
  for (const rigsim::ReceivedFrame& f : log) {
    if (f.bytes.size() != 36) continue;
    const int64_t computedNs = MotionFeeder::stampOf(f) + rigClockOffsetNs;
    if (computedNs < reconnectNs) {
      ++stale;
    } else {
      ++live;
      if (firstLagNs < 0) firstLagNs = f.arrivalNs - computedNs;
    }
  }
  EXPECT_GT(live, 50u);
  std::printf("motion frames computed before the connection %zu, live %zu, first live frame's age %.2f ms\n", stale,
              live, static_cast<double>(firstLagNs) / 1e6);
  return stale;
}

class RelayEndToEnd : public ::testing::Test {
 protected:
  RigLink& link() { return *link_; }
  std::unique_ptr<RigLink> link_ = std::make_unique<RigLink>();

  static size_t framesOfClass(rigsim::SimulatedRig& rig, uint8_t messageClass, bool* allChecksummed = nullptr) {
    size_t n = 0;
    if (allChecksummed) *allChecksummed = true;
    for (const rigsim::ReceivedFrame& f : rig.frames()) {
      if (f.bytes.size() != 8 || f.bytes[2] != messageClass) continue;
      ++n;
      if (allChecksummed && !f.checksummed) *allChecksummed = false;
    }
    return n;
  }
};

TEST_F(RelayEndToEnd, AutoconnectFindsRigAndRelaysBothWays) {
  RigOnComPort rig;
  ASSERT_TRUE(rig.started());
  rig.rig.setFirmwareLevel(328);
  link().setAutoconnect(1);
  RelayThread relay(link());
  ASSERT_TRUE(waitUntil([&] { return link().portOpen() != 0; }, std::chrono::milliseconds(5000)));
  // The class-4 and class-2 messages go out checksummed; the level report
  // that answers class 2 validates the serial link and asks for checksummed
  // auto messages.
  ASSERT_TRUE(waitUntil([&] { return link().mode().transport() == LinkTransport::serial; }, std::chrono::milliseconds(3000)));
  EXPECT_EQ(link().autoChecksum(), 1);
  EXPECT_EQ(link().isConnected(), 1);
  bool checksummed = false;
  EXPECT_EQ(framesOfClass(rig.rig, 0x04, &checksummed), 1u);
  EXPECT_TRUE(checksummed);
  uint8_t report[512];
  ASSERT_EQ(link().readMessage(report), 8);
  EXPECT_EQ(std::vector<uint8_t>(report, report + 8), bytesOf({0xF9, 0xF9, 0x02, 0x00, 28, 3, 0x0A, 0x0D}));

  // Host message out (checksummed), the rig's echo back (terminated for the host).
  const auto message = bytesOf({0xF9, 0xF9, 0x20, 0x00, 0x34, 0x12, 0x0A, 0x0D});
  ASSERT_EQ(link().sendMessage(message.data()), 1);
  ASSERT_TRUE(waitUntil([&] { return link().newMessage() != 0; }, std::chrono::milliseconds(2000)));
  uint8_t echo[512];
  ASSERT_EQ(link().readMessage(echo), 8);
  EXPECT_EQ(std::vector<uint8_t>(echo, echo + 8), message);
  EXPECT_EQ(framesOfClass(rig.rig, 0x20, &checksummed), 1u);
  EXPECT_TRUE(checksummed);

  // The engine's motion frame reaches the rig whole, with a valid CRC, even
  // with the pair 0x0A 0x0D among its floats.
  std::vector<uint8_t> motion(36, 0x3F);
  motion[0] = motion[1] = 0xFC;
  motion[20] = 0x0A;
  motion[21] = 0x0D;
  motion[34] = 0x0A;
  motion[35] = 0x0D;
  for (int i = 0; i < 5; ++i) ASSERT_EQ(link().queueMotionFrame(motion.data(), motion.size()), 1);
  ASSERT_TRUE(waitUntil([&] { return rig.rig.stats().motionFrames == 5; }, std::chrono::milliseconds(2000)));
  const rigsim::RigStats stats = rig.rig.stats();
  EXPECT_EQ(stats.checksummedMotionFrames, 5u);
  EXPECT_EQ(stats.checksumErrors, 0u);
  ASSERT_EQ(stats.lastMotionFrame.size(), 36u);
  EXPECT_TRUE(std::equal(motion.begin(), motion.begin() + 34, stats.lastMotionFrame.begin()));

  // A lone auto message goes out twelve times, terminated.
  ASSERT_EQ(link().autoMessage(bytesOf({0xF9, 0xF9, 0x05, 0x00, 0x01, 0x00, 0x0A, 0x0D}).data()), 1);
  ASSERT_TRUE(waitUntil([&] { return link().autoTxQueue().empty(); }, std::chrono::milliseconds(2000)));
  ASSERT_TRUE(waitUntil([&] { return framesOfClass(rig.rig, 0x05) == 12; }, std::chrono::milliseconds(2000)));
  EXPECT_EQ(framesOfClass(rig.rig, 0x05, &checksummed), 12u);
  EXPECT_FALSE(checksummed);
  EXPECT_GT(link().relayCycleTimer().lastIntervalMs(), 1.9);
}

// An engine that ran before the rig was found has filled the queue with
// motion frames: the greeting still goes out and validates the link.
TEST_F(RelayEndToEnd, GreetingGetsThroughAFullQueue) {
  RigOnComPort rig;
  ASSERT_TRUE(rig.started());
  std::vector<uint8_t> motion(36, 0x00);
  motion[0] = motion[1] = 0xFC;
  motion[34] = 0x0A;
  motion[35] = 0x0D;
  while (link().serialTxQueue().pushIfBelow(motion.data(), motion.size(), kTransmitQueueBound)) {
  }
  ASSERT_EQ(link().serialTxQueue().size(), kTransmitQueueBound);
  link().setAutoconnect(1);
  RelayThread relay(link());
  ASSERT_TRUE(waitUntil([&] { return link().mode().transport() == LinkTransport::serial; }, std::chrono::milliseconds(5000)));
  EXPECT_EQ(rig.rig.stats().levelQueries, 1u);
}

TEST_F(RelayEndToEnd, RigVanishesAndReturns) {
  RigOnComPort rig;
  ASSERT_TRUE(rig.started());
  link().setAutoconnect(1);
  RelayThread relay(link());
  ASSERT_TRUE(waitUntil([&] { return link().mode().transport() == LinkTransport::serial; }, std::chrono::milliseconds(5000)));
  ::testing::internal::CaptureStdout();
  ASSERT_TRUE(rig.rig.unplug());
  const auto motion = [] {
    std::vector<uint8_t> m(36, 0x00);
    m[0] = m[1] = 0xFC;
    m[34] = 0x0A;
    m[35] = 0x0D;
    return m;
  }();
  // The engine keeps sending; the failing port is dropped.
  EXPECT_TRUE(waitUntil([&] {
    link().queueMotionFrame(motion.data(), motion.size());
    return link().portOpen() == 0;
  }, std::chrono::milliseconds(3000)));
  const std::string printed = ::testing::internal::GetCapturedStdout();
  EXPECT_NE(printed.find(" Serial Exception Error: "), std::string::npos) << printed;
  rig.rig.reset();
  ASSERT_TRUE(rig.rig.replug());
  ASSERT_TRUE(waitUntil([&] { return link().portOpen() != 0; }, std::chrono::milliseconds(5000)));
  ASSERT_TRUE(waitUntil([&] {
    link().queueMotionFrame(motion.data(), motion.size());
    return rig.rig.stats().checksummedMotionFrames > 0;
  }, std::chrono::milliseconds(3000)));
  EXPECT_EQ(rig.rig.stats().checksumErrors, 0u);
}

// The engine keeps computing while no rig is connected: before the first
// connection and through an unplug of 2 s. Each connection starts with the
// greeting, and no motion frame computed before it ever reaches the rig.
TEST_F(RelayEndToEnd, EveryConnectionStartsWithGreetingAndLiveMotion) {
  RigOnComPort rig;
  ASSERT_TRUE(rig.started());
  const int64_t offset = rig.rig.clockOffsetNs();
  MotionFeeder engine(link());
  std::this_thread::sleep_for(std::chrono::milliseconds(400));  // the queue fills
  link().setAutoconnect(1);
  RelayThread relay(link());
  ASSERT_TRUE(waitUntil([&] { return link().mode().transport() == LinkTransport::serial; }, std::chrono::milliseconds(5000)));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(expectGreetingThenLiveMotion(receivedInOrder(rig.rig), offset), 0u);

  ASSERT_TRUE(rig.rig.unplug());
  ASSERT_TRUE(waitUntil([&] { return link().portOpen() == 0; }, std::chrono::milliseconds(3000)));
  std::this_thread::sleep_for(std::chrono::milliseconds(2000));
  rig.rig.reset();
  ASSERT_TRUE(rig.rig.replug());
  ASSERT_TRUE(waitUntil([&] { return link().portOpen() != 0; }, std::chrono::milliseconds(5000)));
  ASSERT_TRUE(waitUntil([&] { return link().mode().transport() == LinkTransport::serial; }, std::chrono::milliseconds(3000)));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(expectGreetingThenLiveMotion(receivedInOrder(rig.rig), offset), 0u);
  EXPECT_EQ(rig.rig.stats().checksumErrors, 0u);
}

// A controller that stops reading: once its input backs up, a write fails
// within its bound, the relay closes the port and scans again, and the
// engine's queueing never waits for any of it.
TEST_F(RelayEndToEnd, StalledControllerIsDroppedAndFoundAgain) {
  RigOnComPort rig;
  ASSERT_TRUE(rig.started());
  MotionFeeder engine(link());
  link().setAutoconnect(1);
  RelayThread relay(link());
  ASSERT_TRUE(waitUntil([&] { return link().mode().transport() == LinkTransport::serial; }, std::chrono::milliseconds(5000)));
  ::testing::internal::CaptureStdout();
  const int64_t stalledNs = rigsim::monotonicNs();
  rig.rig.setBehaviour(rigsim::Behaviour::stalled);
  ASSERT_TRUE(waitUntil([&] { return link().portOpen() == 0; }, std::chrono::milliseconds(30000)));
  const int64_t closedNs = rigsim::monotonicNs();
  // While it stays stalled the scan finds no answer; once it reads again the
  // scan identifies it anew.
  std::this_thread::sleep_for(std::chrono::milliseconds(600));
  EXPECT_EQ(link().portOpen(), 0);
  rig.rig.setBehaviour(rigsim::Behaviour::normal);
  ASSERT_TRUE(waitUntil([&] { return link().portOpen() != 0; }, std::chrono::milliseconds(5000)));
  // What the controller had taken in before it stalled it reads now: whole
  // frames with their CRC, and at most the one the timed-out write cut short.
  EXPECT_EQ(rig.rig.stats().checksumErrors, 0u);
  EXPECT_LE(rig.rig.stats().cutFrames, 1u);
  const std::string printed = ::testing::internal::GetCapturedStdout();
  EXPECT_NE(printed.find(" Serial Exception Error: "), std::string::npos) << printed;
  EXPECT_LT(engine.longestCallNs(), 20'000'000);
  std::printf("stall to close and rescan %.0f ms, longest engine queueing call %.3f ms\n",
              static_cast<double>(closedNs - stalledNs) / 1e6, static_cast<double>(engine.longestCallNs()) / 1e6);
}

TEST_F(RelayEndToEnd, ManualConnectionPauseAndResume) {
  RigOnComPort rig;
  ASSERT_TRUE(rig.started());
  link().setStandardPort(("COM" + std::to_string(RigOnComPort::kComNumber)).c_str());
  RelayThread relay(link());
  EXPECT_EQ(link().isConnected(), 0);
  ASSERT_EQ(link().resumeInterface(), 1);
  const auto message = bytesOf({0xF9, 0xF9, 0x21, 0x00, 0x00, 0x00, 0x0A, 0x0D});
  ASSERT_EQ(link().sendMessage(message.data()), 1);
  ASSERT_TRUE(waitUntil([&] { return link().newMessage() != 0; }, std::chrono::milliseconds(2000)));
  EXPECT_EQ(link().isConnected(), 1);

  // Pausing closes the port under the running relay; it idles until resumed.
  EXPECT_EQ(link().pauseInterface(), 1);
  EXPECT_EQ(link().isConnected(), 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  EXPECT_FALSE(link().rigPort().isOpen());
  link().setAutoconnect(1);
  EXPECT_EQ(link().resumeInterface(), 1);
  ASSERT_TRUE(waitUntil([&] { return link().portOpen() != 0; }, std::chrono::milliseconds(5000)));
  EXPECT_EQ(rig.rig.stats().identityQueries, 4u);
}

TEST_F(RelayEndToEnd, StopClosesThePortBeforeReturning) {
  RigOnComPort rig;
  ASSERT_TRUE(rig.started());
  link().setAutoconnect(1);
  {
    RelayThread relay(link());
    ASSERT_TRUE(waitUntil([&] { return link().portOpen() != 0; }, std::chrono::milliseconds(5000)));
    link().stopRelay();
    EXPECT_EQ(link().relayStopped(), 1);
    EXPECT_FALSE(link().rigPort().isOpen());
    EXPECT_EQ(link().isConnected(), 0);
  }
}

}  // namespace
}  // namespace portrelay
