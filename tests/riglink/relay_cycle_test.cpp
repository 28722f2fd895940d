// The relay cycle on a scripted device (queue handling, faulty devices,
// bytes from the rig), and the loop's start and stop, without a rig.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <memory>
#include <thread>

#include "link_fixture.h"
#include "platform/scheduling.h"
#include "riglink/crc16.h"
#include "riglink/link_state.h"
#include "support/fake_serial_device.h"

namespace portrelay {
namespace {

using testing::bytesOf;
using testing::FakeSerialLine;

size_t count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

std::vector<uint8_t> motionFrame(uint8_t fill) {
  std::vector<uint8_t> frame(36, fill);
  frame[0] = frame[1] = 0xFC;
  frame[34] = 0x0A;
  frame[35] = 0x0D;
  return frame;
}

std::vector<uint8_t> checksummed(std::vector<uint8_t> message) {
  const uint16_t crc = crc16(message.data(), message.size() - 2);
  message[message.size() - 2] = static_cast<uint8_t>(crc & 0xFF);
  message[message.size() - 1] = static_cast<uint8_t>(crc >> 8);
  return message;
}

// A link whose port is a fake device, opened and identified.
class RelayCycle : public ::testing::Test {
 protected:
  void SetUp() override {
    link_ = std::make_unique<RigLink>(std::make_unique<testing::FakeSerialDevice>(line_));
    link().setRelayRunning(1);
    ASSERT_TRUE(link().rigPort().open(line_->comNumber()));
    link().setPortOpen(1);
  }
  RigLink& link() { return *link_; }
  std::string cycle() {
    ::testing::internal::CaptureStdout();
    link().relayCycleWork(link().rigPort().generation());
    return ::testing::internal::GetCapturedStdout();
  }
  size_t writesOfClass(uint8_t messageClass) const {
    size_t n = 0;
    for (const auto& call : line_->writeCalls()) n += call.size() == 8 && call[2] == messageClass;
    return n;
  }

  std::shared_ptr<FakeSerialLine> line_ = std::make_shared<FakeSerialLine>();
  std::unique_ptr<RigLink> link_;
};

TEST_F(RelayCycle, LoneAutoMessageGoesOutTwelveTimes) {
  ASSERT_EQ(link().autoMessage(bytesOf({0xF9, 0xF9, 0x20, 0x00, 0x00, 0x00, 0x0A, 0x0D}).data()), 1);
  for (int cycles = 0; !link().autoTxQueue().empty() && cycles < 100; ++cycles) cycle();
  EXPECT_EQ(writesOfClass(0x20), 12u);
  EXPECT_EQ(link().repeatCount(), 1);
  // From a count of 1 the next lone message goes out eleven times, unchanged.
  const auto second = bytesOf({0xF9, 0xF9, 0x21, 0x00, 0x00, 0x00, 0x0A, 0x0D});
  ASSERT_EQ(link().autoMessage(second.data()), 1);
  for (int cycles = 0; !link().autoTxQueue().empty() && cycles < 100; ++cycles) cycle();
  EXPECT_EQ(writesOfClass(0x21), 11u);
  EXPECT_EQ(line_->writeCalls().back(), second);
}

TEST_F(RelayCycle, NewerAutoMessageReplacesTheOlder) {
  const auto first = bytesOf({0xF9, 0xF9, 0x20, 0x00, 0x00, 0x00, 0x0A, 0x0D});
  const auto second = bytesOf({0xF9, 0xF9, 0x21, 0x00, 0x00, 0x00, 0x0A, 0x0D});
  link().autoMessage(first.data());
  cycle();
  cycle();
  EXPECT_EQ(link().repeatCount(), 2);
  link().autoMessage(second.data());
  cycle();  // the first goes out once more, then gives way
  EXPECT_EQ(writesOfClass(0x20), 3u);
  EXPECT_EQ(link().autoTxQueue().size(), 1u);
  EXPECT_EQ(link().repeatCount(), 0);
  uint8_t out[kMaxMessageLength];
  ASSERT_TRUE(link().autoTxQueue().copyFront(out));
  EXPECT_EQ(out[2], 0x21);
}

TEST_F(RelayCycle, TwoByteAutoMessageCountsButIsNeverWritten) {
  ASSERT_EQ(link().autoMessage(bytesOf({0x0A, 0x0D}).data()), 1);
  int cycles = 0;
  for (; !link().autoTxQueue().empty() && cycles < 100; ++cycles) cycle();
  EXPECT_EQ(cycles, 12);
  EXPECT_TRUE(line_->writeCalls().empty());
}

TEST_F(RelayCycle, TransmitQueueLeavesChecksummedInOneWriteEach) {
  const auto host = bytesOf({0xF9, 0xF9, 0x30, 0x00, 0x05, 0x00, 0x0A, 0x0D});
  const auto motion = motionFrame(0x41);
  ASSERT_EQ(link().sendMessage(host.data()), 1);
  ASSERT_EQ(link().queueMotionFrame(motion.data(), motion.size()), 1);
  EXPECT_EQ(cycle(), "");
  const std::vector<std::vector<uint8_t>> expected = {checksummed(host), checksummed(motion)};
  EXPECT_EQ(line_->writeCalls(), expected);
  EXPECT_TRUE(link().serialTxQueue().empty());
  EXPECT_EQ(link().portOpen(), 1);
}

// While a message is being written, another thread changes the queue under
// it: the listener empties it (UDP mode ended) or drops its motion frames (UDP
// mode began), and the engine or the host queues a new message. The relay
// removes what it wrote, never the new front: every message reported queued
// and still queued after the change goes out.
TEST_F(RelayCycle, RemovesOnlyTheMessageItWrote) {
  const auto host = bytesOf({0xF9, 0xF9, 0x30, 0x00, 0x05, 0x00, 0x0A, 0x0D});
  const auto late = bytesOf({0xF9, 0xF9, 0x31, 0x00, 0x06, 0x00, 0x0A, 0x0D});
  const auto motion = motionFrame(0x41);
  const auto third = bytesOf({0xF9, 0xF9, 0x32, 0x00, 0x07, 0x00, 0x0A, 0x0D});
  struct Case {
    const char* name;
    bool autoQueue;
    std::vector<std::vector<uint8_t>> queued;
    std::function<void(RigLink&)> meanwhile;
    std::vector<std::vector<uint8_t>> written;
  };
  const std::vector<Case> cases = {
      {"emptied, then a new message queued",
       false,
       {host},
       [&](RigLink& link) {
         link.serialTxQueue().clear();
         ASSERT_TRUE(link.serialTxQueue().pushIfBelow(late.data(), late.size(), kTransmitQueueBound));
       },
       {checksummed(host), checksummed(late)}},
      {"motion frames dropped, the host message behind them moves up",
       false,
       {motion, host},
       [&](RigLink& link) {
         link.serialTxQueue().removeIf([](const uint8_t* bytes, size_t) { return bytes[0] == 0xFC; });
       },
       {checksummed(motion), checksummed(host)}},
      {"auto message sent and removed by the UDP sender meanwhile: the next is not removed unsent",
       true,
       {host, late, third},
       [&](RigLink& link) { link.autoTxQueue().popFront(); },
       {host, late}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    line_ = std::make_shared<FakeSerialLine>();
    SetUp();
    for (const auto& message : c.queued)
      ASSERT_TRUE((c.autoQueue ? link().autoTxQueue() : link().serialTxQueue())
                      .pushIfBelow(message.data(), message.size(), kTransmitQueueBound));
    RigLink& scripted = link();
    line_->duringNextWrite([&] { c.meanwhile(scripted); });
    cycle();
    if (c.autoQueue) cycle();
    auto written = line_->writeCalls();
    written.resize(std::min(written.size(), c.written.size()));
    EXPECT_EQ(written, c.written);
    EXPECT_TRUE(link().serialTxQueue().empty());
  }
}

// A device that takes part of a frame, nothing at all, or vanishes in the
// middle of one: the write is a failure, reported and handled by closing the
// port (the loop then rescans); the messages queued behind it are discarded
// unwritten and the cycle ends there: one failure, one line. A device still
// there has its transmit queue discarded before the close, so that no frame
// waiting there reaches the controller once it reads again.
TEST_F(RelayCycle, FaultyDeviceFailsTheWriteAndClosesThePort) {
  enum class Fault { shortWrite, stall, unplugMidFrame };
  struct Case {
    Fault fault;
    const char* name;
    size_t takenBytes;  // of the first message
    size_t transmitPurges;
  };
  const Case cases[] = {{Fault::shortWrite, "short write", 20, 1}, {Fault::stall, "stall", 0, 1},
                        {Fault::unplugMidFrame, "unplug mid-frame", 17, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    link().facts().identified(line_->comNumber(), 1);
    switch (c.fault) {
      case Fault::shortWrite: line_->acceptAtMost(20); break;
      case Fault::stall: line_->stall(true); break;
      case Fault::unplugMidFrame: line_->unplugAfter(17); break;
    }
    const auto motion = motionFrame(0x10);
    for (int i = 0; i < 3; ++i) ASSERT_EQ(link().queueMotionFrame(motion.data(), motion.size()), 1);
    const std::string printed = cycle();
    EXPECT_EQ(count(printed, " Serial Exception Error: "), 1u) << printed;
    EXPECT_EQ(line_->writeCalls().size(), 1u);  // nothing more is tried on the closed port
    EXPECT_EQ(line_->taken().size(), c.takenBytes);
    EXPECT_EQ(line_->transmitPurges(), c.transmitPurges);
    EXPECT_EQ(link().portOpen(), 0);
    EXPECT_FALSE(link().rigPort().isOpen());
    EXPECT_TRUE(link().serialTxQueue().empty());
    EXPECT_EQ(link().networkTxQueue().size(), 3u);  // the network link's copies stay
    // One loss, however many operations failed on the way; the rig's identity stays known.
    EXPECT_EQ(link().facts().linksLost.load(), 1);
    EXPECT_EQ(link().facts().comNumber.load(), 0);
    EXPECT_EQ(link().facts().identity.load(), 1);
    line_ = std::make_shared<FakeSerialLine>();
  }
}

// Bytes from the rig arrive with noise and split anywhere; only whole,
// verified frames count, and the first one validates the serial link.
TEST_F(RelayCycle, NoiseAndSplitFramesFromTheRig) {
  const auto report = bytesOf({0xF9, 0xF9, 0x02, 0x00, 28, 3, 0x0A, 0x0D});
  const auto sealed = checksummed(bytesOf({0xF9, 0xF9, 0x31, 0x00, 0x01, 0x02, 0, 0}));
  std::vector<uint8_t> stream = {0x55, 0xF9, 0x00, 0xFC, 0xFC};  // garbage
  stream.insert(stream.end(), report.begin(), report.end());
  stream.insert(stream.end(), sealed.begin(), sealed.end());
  line_->deliver({stream.begin(), stream.begin() + 9});  // the report cut after its fourth byte
  cycle();
  EXPECT_NE(link().mode().transport(), LinkTransport::serial);
  EXPECT_EQ(link().newMessage(), 0);
  EXPECT_EQ(link().facts().level.load(), -1);
  line_->deliver({stream.begin() + 9, stream.end()});
  cycle();
  EXPECT_EQ(link().mode().transport(), LinkTransport::serial);
  EXPECT_EQ(link().autoChecksum(), 1);
  EXPECT_EQ(link().facts().level.load(), 328);
  uint8_t out[kMaxMessageLength];
  ASSERT_EQ(link().readMessage(out), 8);
  EXPECT_EQ(std::vector<uint8_t>(out, out + 8), report);
  ASSERT_EQ(link().readMessage(out), 8);
  EXPECT_EQ(out[2], 0x31);
  EXPECT_EQ(link().readMessage(out), 0);
  EXPECT_EQ(link().portOpen(), 1);
}

// Motion frames the link that talks to the rig cannot take are counted as
// dropped; those made while no link talks are not (nothing could take them).
TEST_F(RelayCycle, CountsTheMotionFramesTheTalkingLinkRefuses) {
  const auto motion = motionFrame(0x20);
  for (size_t i = 0; i < kTransmitQueueBound + 5; ++i) link().queueMotionFrame(motion.data(), motion.size());
  EXPECT_EQ(link().queueMotionFrame(motion.data(), motion.size()), -1);
  EXPECT_EQ(link().facts().framesDropped.load(), 0);
  ASSERT_TRUE(link().mode().serialHeard());
  EXPECT_EQ(link().queueMotionFrame(motion.data(), motion.size()), -1);
  EXPECT_EQ(link().queueMotionFrame(motion.data(), motion.size()), -1);
  EXPECT_EQ(link().facts().framesDropped.load(), 2);
}

int64_t steadyNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

double quantileMs(std::vector<int64_t> ns, double q) {
  if (ns.empty()) return 0.0;
  std::sort(ns.begin(), ns.end());
  return static_cast<double>(ns[std::min(ns.size() - 1, static_cast<size_t>(q * static_cast<double>(ns.size())))]) /
         1e6;
}

// The relay loop's cycle against an engine that queues a frame every period,
// slower or faster than the relay's own 2 ms: each frame leaves at once
// instead of at the relay's next tick, the relay runs exactly one cycle per
// frame (one auto message between two frames: no extra cycle, no two frames
// in one), and once the frames stop it keeps its own 2-ms cadence.
TEST_F(RelayCycle, RunsOncePerEngineFrameAndOnItsOwnTickWithout) {
  struct Case {
    const char* name;
    int periodUs;
  };
  const Case cases[] = {{"engine slower than the relay", 2300}, {"engine faster than the relay", 1800}};
  constexpr int kFrames = 100;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    // Distinct auto messages, more than there will be cycles: each cycle
    // writes the front one and removes it, so the auto writes count cycles.
    for (int i = 0; i < 149; ++i)
      ASSERT_EQ(link().autoMessage(bytesOf({0xF9, 0xF9, 0x40, 0x00, i, 0x00, 0x0A, 0x0D}).data()), 1);
    std::atomic<bool> relaying{true};
    std::thread relay([&] {
      platform::raiseThreadPriority();  // as the relay loop's thread does
      const uint64_t generation = link().rigPort().generation();
      while (relaying) link().relayCycle(generation);
    });
    // The relay cycles before the first frame (a loaded machine may start a thread late).
    if (!testing::waitUntil([&] { return link().autoTxQueue().size() < 147; }, std::chrono::milliseconds(5000))) {
      relaying = false;
      relay.join();
      FAIL() << "the relay never cycled";
    }
    std::vector<int64_t> queuedNs;
    auto next = std::chrono::steady_clock::now() + std::chrono::milliseconds(1);
    for (int i = 0; i < kFrames; ++i) {
#ifdef _WIN32
      // Sleeps come in whole milliseconds (1 to 2 ms for 1) there: spin.
      while (std::chrono::steady_clock::now() < next) {
      }
#else
      std::this_thread::sleep_until(next);
#endif
      const auto frame = motionFrame(static_cast<uint8_t>(i));
      queuedNs.push_back(steadyNs());
      EXPECT_EQ(link().queueMotionFrame(frame.data(), frame.size()), 1);
      next += std::chrono::microseconds(c.periodUs);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(60));  // no frames any more
    relaying = false;
    relay.join();

    const auto calls = line_->writeCalls();
    const auto times = line_->writeTimesNs();
    ASSERT_EQ(calls.size(), times.size());
    std::vector<int64_t> delays;
    std::vector<int> cyclesAfter;  // relay cycles from each frame's write to the next frame's
    size_t lastFrameAt = 0;
    for (size_t i = 0; i < calls.size(); ++i) {
      if (calls[i].size() != 36) {
        if (!cyclesAfter.empty()) ++cyclesAfter.back();
        continue;
      }
      const size_t index = delays.size();
      ASSERT_LT(index, queuedNs.size());
      EXPECT_EQ(calls[i][2], static_cast<uint8_t>(index));  // each frame once, in order
      delays.push_back(times[i] - queuedNs[index]);
      cyclesAfter.push_back(0);
      lastFrameAt = i;
    }
    ASSERT_EQ(delays.size(), static_cast<size_t>(kFrames));
    // A frame waits for the relay's wake-up, not for a tick 0 to 2 ms away
    // (about 1 ms in the median); the tail is the machine's.
    EXPECT_LT(quantileMs(delays, 0.5), 0.4);
    // One cycle between two frames, judged where the machine let both sides
    // keep time: the frame before and both frames queued a period apart
    // (within 0.4 ms; a feeder held up longer loses the lock, and its next
    // frame re-locks with a cycle of its own), both taken within 1 ms, less
    // than the shortest such spacing (a relay held up longer may bunch two
    // frames into one cycle). The relay's own tick cannot come between two
    // such frames.
    const auto regular = [&](size_t i) {
      return std::llabs(queuedNs[i + 1] - queuedNs[i] - c.periodUs * 1000LL) <= 400'000;
    };
    int judged = 0, irregular = 0;
    for (size_t i = 1; i + 1 < delays.size(); ++i) {
      if (!regular(i - 1) || !regular(i) || delays[i] > 1'000'000 || delays[i + 1] > 1'000'000) continue;
      ++judged;
      if (cyclesAfter[i] != 1) ++irregular;
    }
    EXPECT_GE(judged, kFrames / 10);
    EXPECT_LE(irregular, 1) << "of " << judged << " frame pairs without exactly one relay cycle between them";
    // Without frames: the relay goes on (it does not wait for frames that no
    // longer come) on its own tick, every 2 ms, after one tick postponed by
    // the lock's slack (about 30 cycles in 60 ms).
    std::vector<int64_t> tail;
    for (size_t i = lastFrameAt + 2; i + 1 < times.size(); ++i) tail.push_back(times[i + 1] - times[i]);
    ASSERT_GE(tail.size(), 15u);
    EXPECT_GT(quantileMs(tail, 0.5), 1.95);
    EXPECT_LT(quantileMs(tail, 0.5), 2.4);
    line_ = std::make_shared<FakeSerialLine>();
  }
}

TEST(RelayStop, ReturnsAtOnceWhenNothingRuns) {
  auto link = std::make_unique<RigLink>();
  const auto start = std::chrono::steady_clock::now();
  link->stopRelay();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(50));
}

TEST(RelayStop, WaitsForTheLoopEvenWhenANetworkThreadEndedEarlier) {
  const platform::ScopedPlatform noPorts(platform::FakePlatform().withComPorts({}));
  auto link = std::make_unique<RigLink>();
  std::atomic<bool> loopReturned{false};
  std::thread relay([&] {
    EXPECT_EQ(link->runRelay(), 1);
    loopReturned = true;
  });
  ASSERT_TRUE(testing::waitUntil([&] { return link->relayRunning() != 0; }, std::chrono::milliseconds(2000)));
  {  // a network thread that has ended before
    NetworkThreadScope listener(*link, LinkThread::listener);
    ASSERT_TRUE(listener.entered());
    listener.announceRunning();
  }
  ASSERT_TRUE(link->networkStopped());
  link->stopRelay();
  EXPECT_TRUE(link->relayStopped());
  EXPECT_EQ(link->threads().runningMask(), 0);
  relay.join();
  EXPECT_TRUE(loopReturned);
}

TEST(RelayStop, WaitsForNetworkThreads) {
  auto link = std::make_unique<RigLink>();
  std::atomic<bool> ended{false};
  std::thread network([&] {
    NetworkThreadScope scope(*link, LinkThread::listener);
    scope.announceRunning();
    while (link->networkRunning() != 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));  // closing its socket
    ended = true;
  });
  ASSERT_TRUE(testing::waitUntil([&] { return link->networkRunning() != 0; }, std::chrono::milliseconds(2000)));
  EXPECT_EQ(link->networkStarted(), 1);
  link->stopRelay();
  EXPECT_TRUE(ended);
  EXPECT_EQ(link->networkStopped(), 1);
  network.join();
}

TEST(RelayLoop, IdlesWithoutSpinning) {
#ifdef _WIN32
  GTEST_SKIP() << "clock() measures wall time in the Windows C library";
#endif
  auto link = std::make_unique<RigLink>();
  std::thread relay([&] { link->runRelay(); });
  ASSERT_TRUE(testing::waitUntil([&] { return link->relayRunning() != 0; }, std::chrono::milliseconds(2000)));
  const auto cpuBefore = std::clock();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  const double cpuMs = 1000.0 * static_cast<double>(std::clock() - cpuBefore) / CLOCKS_PER_SEC;
  link->stopRelay();
  relay.join();
  EXPECT_LT(cpuMs, 100.0);  // a spinning loop would burn the whole 300 ms
}

}  // namespace
}  // namespace portrelay
