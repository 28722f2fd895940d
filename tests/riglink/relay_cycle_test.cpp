// The relay cycle's queue handling and the loop's start and stop, without a rig.
#include <gtest/gtest.h>

#include <ctime>
#include <thread>

#include "link_fixture.h"
#include "portrelay/portrelay.h"
#include "riglink/relay_loop.h"

namespace portrelay {
namespace {

using testing::bytesOf;

size_t count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

class RelayCycle : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::resetLink();
    link().relayRunning = 1;
  }
  void TearDown() override { testing::resetLink(); }
  static RigLinkState& link() { return rigLink(); }
  // A cycle on the (closed) port: every write fails and is reported, and so
  // is the receive stage that ends the cycle.
  static std::string cycle() {
    ::testing::internal::CaptureStdout();
    relayCycleWork(link().rigPort.generation());
    return ::testing::internal::GetCapturedStdout();
  }
  static int writes(const std::string& printed);
};

int RelayCycle::writes(const std::string& printed) {
  return static_cast<int>(count(printed, " Serial Exception Error: ")) - 1;
}

TEST_F(RelayCycle, LoneAutoMessageGoesOutTwelveTimes) {
  ASSERT_EQ(autoMessagemmf(bytesOf({0xF9, 0xF9, 0x20, 0x00, 0x00, 0x00, 0x0A, 0x0D}).data()), 1);
  int writes = 0;
  while (!link().autoTxQueue.empty() && writes < 100) writes += RelayCycle::writes(cycle());
  EXPECT_EQ(writes, 12);
  EXPECT_EQ(link().repeatCount.load(), 1);
  // From a count of 1 the next lone message goes out eleven times.
  ASSERT_EQ(autoMessagemmf(bytesOf({0xF9, 0xF9, 0x21, 0x00, 0x00, 0x00, 0x0A, 0x0D}).data()), 1);
  writes = 0;
  while (!link().autoTxQueue.empty() && writes < 100) writes += RelayCycle::writes(cycle());
  EXPECT_EQ(writes, 11);
}

TEST_F(RelayCycle, NewerAutoMessageReplacesTheOlder) {
  const auto first = bytesOf({0xF9, 0xF9, 0x20, 0x00, 0x00, 0x00, 0x0A, 0x0D});
  const auto second = bytesOf({0xF9, 0xF9, 0x21, 0x00, 0x00, 0x00, 0x0A, 0x0D});
  autoMessagemmf(first.data());
  cycle();
  cycle();
  EXPECT_EQ(link().repeatCount.load(), 2);
  autoMessagemmf(second.data());
  cycle();  // the first goes out once more, then gives way
  EXPECT_EQ(link().autoTxQueue.size(), 1u);
  EXPECT_EQ(link().repeatCount.load(), 0);
  uint8_t out[kMaxMessageLength];
  ASSERT_TRUE(link().autoTxQueue.copyFront(out));
  EXPECT_EQ(out[2], 0x21);
}

TEST_F(RelayCycle, TwoByteAutoMessageCountsButIsNeverWritten) {
  ASSERT_EQ(autoMessagemmf(bytesOf({0x0A, 0x0D}).data()), 1);
  int cycles = 0, written = 0;
  while (!link().autoTxQueue.empty() && cycles < 100) {
    written += writes(cycle());
    ++cycles;
  }
  EXPECT_EQ(cycles, 12);
  EXPECT_EQ(written, 0);
}

TEST_F(RelayCycle, FailedWritesStillEmptyTheTransmitQueue) {
  for (int i = 0; i < 3; ++i) sendMessagemmf(bytesOf({0xF9, 0xF9, 0x20, 0x00, 0x00, 0x00, 0x0A, 0x0D}).data());
  const std::string printed = cycle();
  EXPECT_EQ(count(printed, " Serial Exception Error: "), 3u + 1u);  // three writes, then the receive
  EXPECT_TRUE(link().serialTxQueue.empty());
  EXPECT_EQ(link().networkTxQueue.size(), 3u);  // the network link's copies stay
}

TEST(RelayStop, ReturnsAtOnceWhenNothingRuns) {
  testing::resetLink();
  const auto start = std::chrono::steady_clock::now();
  stopPortRelay_Thread();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(50));
}

TEST(RelayStop, WaitsForTheLoopEvenWhenANetworkThreadEndedEarlier) {
  testing::resetLink();
  platform::overrideComPorts(std::vector<platform::SimulatedComPort>{});
  std::atomic<bool> loopReturned{false};
  std::thread relay([&] {
    EXPECT_EQ(startPortRelay_Thread(), 1);
    loopReturned = true;
  });
  ASSERT_TRUE(testing::waitFor([] { return rigLink().relayRunning.load() != 0; }, 2000));
  rigLink().networkStopped = 1;  // a network thread that has ended before
  stopPortRelay_Thread();
  EXPECT_EQ(rigLink().relayStopped.load(), 1);
  EXPECT_EQ(rigLink().relayActive.load(), 0);
  relay.join();
  EXPECT_TRUE(loopReturned);
  platform::overrideComPorts(std::nullopt);
}

TEST(RelayStop, WaitsForNetworkThreads) {
  testing::resetLink();
  std::atomic<bool> ended{false};
  std::thread network([&] {
    NetworkThreadScope scope;
    scope.announceRunning();
    while (rigLink().networkRunning.load() != 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));  // closing its socket
    ended = true;
  });
  ASSERT_TRUE(testing::waitFor([] { return rigLink().networkRunning.load() != 0; }, 2000));
  EXPECT_EQ(rigLink().networkStarted.load(), 1);
  stopPortRelay_Thread();
  EXPECT_TRUE(ended);
  EXPECT_EQ(rigLink().networkStopped.load(), 1);
  network.join();
}

TEST(RelayLoop, IdlesWithoutSpinning) {
#ifdef _WIN32
  GTEST_SKIP() << "clock() measures wall time in the Windows C library";
#endif
  testing::resetLink();
  std::thread relay([] { startPortRelay_Thread(); });
  ASSERT_TRUE(testing::waitFor([] { return rigLink().relayRunning.load() != 0; }, 2000));
  const auto cpuBefore = std::clock();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  const double cpuMs = 1000.0 * static_cast<double>(std::clock() - cpuBefore) / CLOCKS_PER_SEC;
  stopPortRelay_Thread();
  relay.join();
  EXPECT_LT(cpuMs, 100.0);  // a spinning loop would burn the whole 300 ms
}

}  // namespace
}  // namespace portrelay
