// A stop of the rig link wins whenever it comes (before, while or just after
// the host's threads enter their bodies) and ends a port scan between its
// steps, not after it.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "link_fixture.h"
#include "net/udp_link.h"
#include "net/udp_listener.h"
#include "riglink/link_state.h"
#include "support/game_fixtures.h"
#include "support/temp_dir.h"

namespace portrelay {
namespace {

using testing::waitUntil;

constexpr int32_t kRelayBit = 1, kListenerBit = 4;

class LinkStop : public ::testing::Test {
 protected:
  void SetUp() override { udp_.listenPort = testing::freeUdpPort(); }

  testing::ScopedDocumentsFolder documents_;  // the listener's log file
  platform::ScopedPlatform noComPorts_{platform::FakePlatform().withComPorts({})};
  std::unique_ptr<RigLink> link_ = std::make_unique<RigLink>();
  UdpLink udp_;
};

TEST_F(LinkStop, AStopBeforeTheBodiesEnteredIsKeptForEach) {
  link_->stopRelay();  // nothing runs yet
  std::atomic<int32_t> result{-1};
  std::atomic<bool> bothReturned{false};
  std::thread late([&] {
    result = link_->runRelay();
    runUdpListener(*link_, udp_);
    bothReturned = true;
  });
  const bool endedAtOnce = waitUntil([&] { return bothReturned.load(); }, std::chrono::milliseconds(2000));
  while (!bothReturned) link_->stopRelay();  // the stop was lost: more free the join
  late.join();
  ASSERT_TRUE(endedAtOnce);
  EXPECT_EQ(result.load(), 0);

  // Consumed: the next start runs until it is stopped.
  std::thread relay([&] { EXPECT_EQ(link_->runRelay(), 1); });
  std::thread listener([&] { runUdpListener(*link_, udp_); });
  EXPECT_TRUE(waitUntil([&] { return link_->threads().runningMask() == (kRelayBit | kListenerBit); }, std::chrono::milliseconds(5000)));
  link_->stopRelay();
  EXPECT_EQ(link_->threads().runningMask(), 0);
  relay.join();
  listener.join();
}

// A kept stop is for a thread on its way, not for a start the host makes
// later on purpose (a serial link stopped, the UDP link started afterwards).
TEST_F(LinkStop, AKeptStopIsForgottenAfterItsWindow) {
  link_->stopRelay();  // nothing runs: kept
  EXPECT_EQ(link_->threads().stopPendingMask(), 7);
  std::this_thread::sleep_for(std::chrono::milliseconds(LinkThreads::kKeptStopMs + 100));
  EXPECT_EQ(link_->threads().stopPendingMask(), 0);
  std::thread listener([&] { runUdpListener(*link_, udp_); });
  EXPECT_TRUE(waitUntil([&] { return link_->threads().runningMask() == kListenerBit; }, std::chrono::milliseconds(5000)));
  link_->stopRelay();
  listener.join();
}

// The host's pattern: create the relay and listener threads, stop soon after
// (0, 1 or 5 ms), join. Every round both threads return.
TEST_F(LinkStop, StopRightAfterTheThreadsStartAlwaysWins) {
  for (int delayMs : {0, 1, 5}) {
    for (int round = 0; round < 25; ++round) {
      std::atomic<int> returned{0};
      std::thread relay([&] {
        link_->runRelay();
        ++returned;
      });
      std::thread listener([&] {
        runUdpListener(*link_, udp_);
        ++returned;
      });
      if (delayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
      link_->stopRelay();
      const bool bothReturned = waitUntil([&] { return returned.load() == 2; }, std::chrono::milliseconds(2000));
      if (!bothReturned) link_->stopRelay();  // a lost stop: a second one frees the join
      relay.join();
      listener.join();
      ASSERT_TRUE(bothReturned) << "stop " << delayMs << " ms after the start, round " << round;
      ASSERT_EQ(link_->threads().runningMask(), 0);
    }
  }
}

// Ports that are no rig controller (wrong USB id): the scan looks at each
// with its pauses between. A stop ends the scan between two steps.
TEST_F(LinkStop, StopDuringThePortScanIsBounded) {
  std::vector<platform::SimulatedComPort> ports;
  for (int number = 1; number <= 6; ++number)
    ports.push_back(testing::usbComPort(number, "/nonexistent/portrelay-scan", "VID_0000&PID_0000"));
  const platform::ScopedPlatform scanned(platform::FakePlatform().withComPorts(ports));
  link_->setAutoconnect(1);
  std::vector<double> stopMs;
  for (int round = 0; round < 12; ++round) {
    std::thread relay([&] { link_->runRelay(); });
    ASSERT_TRUE(waitUntil([&] { return link_->threads().runningMask() == kRelayBit; }, std::chrono::milliseconds(5000)));
    std::this_thread::sleep_for(std::chrono::milliseconds(20 + 37 * round % 300));  // anywhere in the scan
    const auto asked = std::chrono::steady_clock::now();
    link_->stopRelay();
    stopMs.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - asked).count());
    relay.join();
  }
  std::sort(stopMs.begin(), stopMs.end());
  RecordProperty("stop_ms_median", std::to_string(stopMs[stopMs.size() / 2]));
  RecordProperty("stop_ms_max", std::to_string(stopMs.back()));
  // 50 ms on a quiet machine; the bound leaves room for a loaded one.
  EXPECT_LT(stopMs.back(), 150.0);
}

}  // namespace
}  // namespace portrelay
