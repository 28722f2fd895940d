// The UDP link end to end between two network namespaces that this test
// makes (a veth pair): the library's exports on one side, rigsim's UDP rig on
// the other, with the real adapter list, the real multicast group and the
// real listen port. Nothing leaves the namespaces. Skipped where namespaces
// cannot be made (no root).
#if !defined(_WIN32)
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "net/adapter_selection.h"
#include "net/udp_link.h"
#include "net_namespace.h"
#include "portrelay/portrelay.h"
#include "riglink/link_fixture.h"
#include "riglink/link_state.h"
#include "udp_link_fixture.h"
#include "udp_rig.h"

namespace portrelay {
namespace {

using namespace portrelay::testing;
using Clock = std::chrono::steady_clock;

constexpr int kFrames = 1500;  // 3 s at 500 Hz
const std::vector<uint8_t> kHostMessage = {0xF9, 0xF9, 0x10, 0x00, 0x2A, 0x00, 0x0A, 0x0D};
const std::vector<uint8_t> kAutoMessage = {0xF9, 0xF9, 0x11, 0x00, 0x07, 0x00, 0x0A, 0x0D};

uint32_t tagOf(const std::vector<uint8_t>& frame) {
  return static_cast<uint32_t>(frame[2]) | static_cast<uint32_t>(frame[3]) << 8 |
         static_cast<uint32_t>(frame[4]) << 16 | static_cast<uint32_t>(frame[5]) << 24;
}

// One run, recorded once and checked by the cases below.
struct RecordedRun {
  std::string skipReason;
  std::string failure;
  std::string adapter;
  uint32_t firstTagAfterValid = 0;
  bool becameValid = false;
  uint8_t autoChecksum = 0;
  std::vector<std::vector<uint8_t>> readBack;
  rigsim::RigStats rigStats;
  std::vector<rigsim::ReceivedFrame> motion;
  std::vector<rigsim::ReceivedFrame> otherFrames;
  uint64_t rigDatagrams = 0;
  uint64_t sent = 0;
  std::string rigSawHost;
  Clock::duration stopTook{};
  uint8_t networkRunning = 1, networkStopped = 0;
  std::vector<std::string> log;
};

class UdpLinkInNamespaces : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    run_ = std::make_unique<RecordedRun>();
    rigsim::NamespacePair pair;
    if (!pair.create(run_->skipReason)) return;
    ScopedDocumentsFolder documents;
    rigsim::UdpRig rig;
    record(pair, rig);
    pair.enterOriginal();
    rig.stop();
    run_->log = logMessages(documents.logFile());
  }
  static void TearDownTestSuite() { run_.reset(); }

  void SetUp() override {
    if (!run_->skipReason.empty()) GTEST_SKIP() << "UDP link end to end not run: " << run_->skipReason;
    ASSERT_EQ(run_->failure, "");
  }

  static void record(rigsim::NamespacePair& pair, rigsim::UdpRig& rig) {
    RecordedRun& r = *run_;
    rigsim::UdpRigOptions options;
    options.interfaceAddress = rigsim::NamespacePair::kRigAddress;
    if (!pair.enterRigSide() || !rig.start(options)) {
      r.failure = "the rig cannot join the group in its namespace";
      return;
    }
    // Everything the library does from here on happens inside its namespace;
    // without it no thread is started at all.
    if (!pair.enterLibrarySide() || !pair.inLibrarySide()) {
      r.failure = "cannot enter the library's namespace";
      return;
    }
    {
      Logger logger;
      r.adapter = GetPreferredEthernetAdapter(logger);
    }
    if (r.adapter != rigsim::NamespacePair::kLibraryAddress) {
      r.failure = "the adapter chosen in the namespace is " + r.adapter;
      return;
    }
    RigLink& link = RigLink::instance();
    const auto sent0 = udpLink().datagramsSent.load();
    std::thread listener([] { startUPDListenThread(); });
    std::thread sender([] { startUPDMulticastSenderThread(); });
    waitUntil([&] { return link.networkRunning() != 0; }, std::chrono::milliseconds(2000));

    // The engine's part: one tagged motion frame every 2 ms.
    auto next = Clock::now();
    for (uint32_t tag = 1; tag <= kFrames; ++tag) {
      const auto frame = motionFrame(tag);
      link.queueMotionFrame(frame.data(), frame.size());
      if (!r.becameValid && link.mode().transport() == LinkTransport::udp) {
        r.becameValid = true;
        r.firstTagAfterValid = tag + 1;
        sendMessagemmf(kHostMessage.data());
      }
      if (tag == kFrames / 2) autoMessagemmf(kAutoMessage.data());
      next += std::chrono::microseconds(2000);
      std::this_thread::sleep_until(next);
    }
    waitUntil([&] { return rig.rig().stats(rigsim::monotonicNs()).motionFrames >= kFrames - r.firstTagAfterValid; }, std::chrono::milliseconds(1000));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    r.autoChecksum = link.autoChecksum();
    uint8_t buffer[512];
    for (int n; (n = readMessagemmf(buffer)) > 0;)
      if (buffer[2] != 0x02) r.readBack.emplace_back(buffer, buffer + n);  // all but the level reports

    const auto stopAt = Clock::now();
    stopPortRelay_Thread();
    r.stopTook = Clock::now() - stopAt;
    sender.join();
    listener.join();
    r.networkRunning = link.networkRunning();
    r.networkStopped = link.networkStopped();
    r.sent = udpLink().datagramsSent.load() - sent0;
    r.rigDatagrams = rig.datagrams();
    r.rigStats = rig.rig().stats(rigsim::monotonicNs());
    r.motion = rig.rig().motionLog();
    r.otherFrames = rig.rig().frames();
    r.rigSawHost = rig.hostAddress();
  }

  static std::unique_ptr<RecordedRun> run_;
};

std::unique_ptr<RecordedRun> UdpLinkInNamespaces::run_;

TEST_F(UdpLinkInNamespaces, SenderBindsTheVethAdapter) {
  EXPECT_EQ(run_->adapter, rigsim::NamespacePair::kLibraryAddress);
  std::string boundLine = "INFO Multicastthread: Bound to Ip: ";
  boundLine += rigsim::NamespacePair::kLibraryAddress;
  EXPECT_TRUE(contains(run_->log, boundLine));
  EXPECT_EQ(run_->rigSawHost, rigsim::NamespacePair::kLibraryAddress);
}

TEST_F(UdpLinkInNamespaces, MotionArrivesChecksummedInOrderWithoutLoss) {
  const RecordedRun& r = *run_;
  ASSERT_TRUE(r.becameValid);
  EXPECT_EQ(r.rigStats.checksumErrors, 0u);
  EXPECT_EQ(r.rigStats.noiseBytes, 0u);
  EXPECT_EQ(r.rigStats.checksummedMotionFrames, r.rigStats.motionFrames);
  EXPECT_EQ(r.rigDatagrams, r.sent);  // not one datagram lost on the way
  uint32_t previous = 0, fromValid = 0;
  for (const auto& frame : r.motion) {
    const uint32_t tag = tagOf(frame.bytes);
    EXPECT_GT(tag, previous);  // in order, never twice, never an old one late
    previous = tag;
    if (tag >= r.firstTagAfterValid) ++fromValid;
  }
  EXPECT_EQ(previous, static_cast<uint32_t>(kFrames));
  EXPECT_EQ(fromValid, kFrames - r.firstTagAfterValid + 1);
}

TEST_F(UdpLinkInNamespaces, RigAnswersReachTheHost) {
  const RecordedRun& r = *run_;
  EXPECT_EQ(r.autoChecksum, 1);  // the rig's level report (328)
  // The host message went out checksummed and came back as the rig's echo,
  // then the echo of each of the auto message's twelve sends.
  ASSERT_EQ(r.readBack.size(), 13u);
  EXPECT_EQ(r.readBack[0], kHostMessage);
  for (size_t i = 1; i < r.readBack.size(); ++i) EXPECT_EQ(r.readBack[i], kAutoMessage);
  size_t autoSeen = 0;
  for (const auto& frame : r.otherFrames) {
    EXPECT_TRUE(frame.checksummed);
    if (frame.bytes[2] == 0x11) ++autoSeen;
  }
  EXPECT_EQ(autoSeen, 12u);  // the auto message, twelve passes in a row
}

TEST_F(UdpLinkInNamespaces, StopEndsBothThreads) {
  const RecordedRun& r = *run_;
  EXPECT_LT(r.stopTook, std::chrono::milliseconds(200));
  EXPECT_EQ(r.networkRunning, 0);
  EXPECT_EQ(r.networkStopped, 1);
  EXPECT_TRUE(contains(r.log, "INFO Udp listen thread: closing"));
  EXPECT_TRUE(contains(r.log, "INFO Port closed."));
  size_t exiting = 0;
  for (const auto& line : r.log) exiting += line.rfind("INFO Multicastthread: Exiting:", 0) == 0 ? 1 : 0;
  EXPECT_EQ(exiting, 1u);
}

}  // namespace
}  // namespace portrelay
#endif
