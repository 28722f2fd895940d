// The UDP link to the rig on loopback: adapter choice through the adapter-list
// seam, the host's settings, the multicast sender (its destination pointed at
// a loopback peer) and the UDP listener.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <thread>

#include "net/adapter_selection.h"
#include "net/ipv4_text.h"
#include "net/multicast_sender.h"
#include "net/udp_link.h"
#include "net/udp_listener.h"
#include "platform/network_adapters.h"
#include "portrelay/portrelay.h"
#include "riglink/link_fixture.h"
#include "riglink/link_state.h"
#include "support/game_fixtures.h"
#include "tools/platform/fake_platform.h"
#include "udp_link_fixture.h"

namespace portrelay {
namespace {

using namespace portrelay::testing;
using platform::AdapterQuery;
using platform::AdapterQueryStep;
using platform::NetworkAdapter;

constexpr uint32_t kUp = platform::kOperStatusUp, kDown = platform::kOperStatusDown;
constexpr uint32_t kEthernet = platform::kIfTypeEthernet, kWireless = platform::kIfTypeWireless,
                   kLoopback = platform::kIfTypeLoopback;

uint32_t ip(const char* text) { return *ipv4FromText(text); }

// The system's adapter list for the scope.
class AdapterSeam {
 public:
  explicit AdapterSeam(AdapterQuery query)
      : platform_(platform::FakePlatform().withNetworkAdapters(std::move(query))) {}

 private:
  platform::ScopedPlatform platform_;
};

TEST(AdapterSelection, Cases) {
  const std::string start = "INFO Starting GetPreferredEthernetAdapter routine.";
  const std::string active = "INFO Adapter is active and of type Ethernet.";
  const std::string skip = "INFO Adapter is either inactive or not of type Ethernet. Skipping.";
  const std::string none = "ERROR No suitable adapter found.";
  struct Case {
    const char* name;
    AdapterQuery query;
    std::string result;
    std::vector<std::string> log;
  };
  auto list = [](std::vector<NetworkAdapter> adapters) { return AdapterQuery{AdapterQueryStep::none, 0, adapters}; };
  const std::vector<Case> cases = {
      {"lower metric second",
       list({{"Wired A", kUp, kEthernet, 25, {ip("10.0.0.1")}}, {"Wired B", kUp, kEthernet, 5, {ip("10.0.1.7")}}}),
       "10.0.1.7",
       {start, "INFO Examining adapter: Wired A", active, "INFO Adapter has lower metric (25). Selecting this adapter.",
        "INFO Examining adapter: Wired B", active, "INFO Adapter has lower metric (5). Selecting this adapter.",
        "INFO Best adapter selected: Wired B with metric: 5", "INFO Selected adapter IP: 10.0.1.7"}},
      {"tie goes to the first",
       list({{"Wired A", kUp, kEthernet, 10, {ip("10.0.0.1"), ip("10.0.0.9")}},
             {"Wired B", kUp, kEthernet, 10, {ip("10.0.1.7")}}}),
       "10.0.0.1",
       {start, "INFO Examining adapter: Wired A", active, "INFO Adapter has lower metric (10). Selecting this adapter.",
        "INFO Examining adapter: Wired B", active, "INFO Best adapter selected: Wired A with metric: 10",
        "INFO Selected adapter IP: 10.0.0.1"}},
      {"only wireless and loopback",
       list({{"Loopback", kUp, kLoopback, 0, {ip("127.0.0.1")}}, {"Wi-Fi", kUp, kWireless, 1, {ip("192.168.1.4")}}}),
       "",
       {start, "INFO Examining adapter: Loopback", skip, "INFO Examining adapter: Wi-Fi", skip, none}},
      {"chosen adapter without IPv4",
       list({{"Wired", kUp, kEthernet, 3, {}}}),
       "",
       {start, "INFO Examining adapter: Wired", active, "INFO Adapter has lower metric (3). Selecting this adapter.",
        "INFO Best adapter selected: Wired with metric: 3"}},
      {"disconnected with the lowest metric",
       list({{"Unplugged", kDown, kEthernet, 1, {ip("10.0.0.1")}}, {"Wired", kUp, kEthernet, 50, {ip("10.0.0.2")}}}),
       "10.0.0.2",
       {start, "INFO Examining adapter: Unplugged", skip, "INFO Examining adapter: Wired", active,
        "INFO Adapter has lower metric (50). Selecting this adapter.", "INFO Best adapter selected: Wired with metric: 50",
        "INFO Selected adapter IP: 10.0.0.2"}},
      {"metric above the signed range never wins",
       list({{"", kUp, kEthernet, 0x80000000u, {ip("10.0.0.1")}}}),
       "",
       {start, "INFO Examining adapter: ", active, none}},
      {"size query fails", {AdapterQueryStep::sizeQuery, 87, {}}, "",
       {start, "ERROR GetAdaptersAddresses failed during buffer size determination. Error: 87"}},
      {"allocation fails", {AdapterQueryStep::allocation, 0, {}}, "",
       {start, "ERROR Memory allocation failed for adapterAddresses."}},
      {"query fails", {AdapterQueryStep::query, 1168, {}}, "", {start, "ERROR GetAdaptersAddresses failed. Error: 1168"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScopedDocumentsFolder documents;
    AdapterSeam seam(c.query);
    std::string result;
    {
      Logger logger;
      result = GetPreferredEthernetAdapter(logger);
    }
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(logMessages(documents.logFile()), c.log);
  }
}

TEST(UdpLinkSettings, AddressTextAndSetters) {
  struct Text {
    const char* text;
    bool valid;
  };
  for (const Text& t : std::initializer_list<Text>{{"239.1.2.3", true},     {"0.0.0.0", true},
                                                   {"010.001.000.255", true}, {"255.255.255.255", true},
                                                   {"256.1.1.1", false},    {"1.2.3", false},
                                                   {"1.2.3.4.5", false},    {"1..2.3", false},
                                                   {"1.2.3.4.", false},     {"a.b.c.d", false},
                                                   {"+1.2.3.4", false},     {"", false},
                                                   {"1.2.3.-4", false},     {"99999999999.1.1.1", false},
                                                   {" 1.2.3.4", false}}) {
    SCOPED_TRACE(t.text);
    EXPECT_EQ(isValidIPv4(t.text), t.valid);
  }
  EXPECT_EQ(splitOnDots(""), (std::vector<std::string>{""}));
  EXPECT_EQ(splitOnDots("1..2"), (std::vector<std::string>{"1", "", "2"}));
  EXPECT_EQ(splitOnDots("1.2."), (std::vector<std::string>{"1", "2", ""}));
  EXPECT_EQ(ipv4FromText("010.001.000.255"), ip("10.1.0.255"));

  // The exports act on the process's link: a multicast group replaces the
  // group, anything else keeps it (the network refuses to send to a
  // broadcast, unspecified or unicast "group"); the listen port keeps the low 16 bits.
  ScopedDocumentsFolder documents;
  UdpLink& udp = udpLink();
  setMulticastAddr("239.1.2.3");
  for (const char* refused : {"256.1.1.1", "255.255.255.255", "0.0.0.0", "192.168.1.20", "223.255.255.255",
                              "240.0.0.1"})
    setMulticastAddr(refused);
  setMulticastAddr(nullptr);
  EXPECT_EQ(udp.multicastAddress(), "239.1.2.3");
  setMulticastAddr("0000000000239.001.2.3");  // longer than the setting holds
  EXPECT_EQ(udp.multicastAddress(), "239.1.2.3");
  setMulticastAddr("224.0.0.0");
  EXPECT_EQ(udp.multicastAddress(), "224.0.0.0");
  setMulticastAddr("239.255.255.255");
  EXPECT_EQ(udp.multicastAddress(), "239.255.255.255");
  setMulticastAddr("239.1.2.3");
  EXPECT_EQ(udp.multicastAddress(), "239.1.2.3");
  setMulticastAddr(kDefaultMulticastAddress);
  setUDPport(70000);
  EXPECT_EQ(udp.listenPort.load(), 4464);
  setUDPport(60000);
  EXPECT_EQ(udp.listenPort.load(), 60000);
  setUDPport(kDefaultListenPort);
  const std::string valid = "INFO UDP Controller Thread: Validated multicast IP address. using Multicast address: ";
  const std::string invalid =
      "INFO UDP Controller Thread: Failed to validate multicast IP address. Using default Multicast address: ";
  EXPECT_EQ(logMessages(documents.logFile()),
            (std::vector<std::string>{valid + "239.1.2.3 and Port: 51324", invalid + "239.1.2.3 and Port: 51324",
                                      invalid + "239.1.2.3 and Port: 51324", invalid + "239.1.2.3 and Port: 51324",
                                      invalid + "239.1.2.3 and Port: 51324", invalid + "239.1.2.3 and Port: 51324",
                                      invalid + "239.1.2.3 and Port: 51324", invalid + "239.1.2.3 and Port: 51324",
                                      valid + "239.1.2.3 and Port: 51324",
                                      valid + "224.0.0.0 and Port: 51324", valid + "239.255.255.255 and Port: 51324",
                                      valid + "239.1.2.3 and Port: 51324", valid + "232.11.12.14 and Port: 51324",
                                      "INFO UDP Controller Thread : Set UdpPort : 4464",
                                      "INFO UDP Controller Thread : Set UdpPort : 60000",
                                      "INFO UDP Controller Thread : Set UdpPort : 53241"}));
}

// The sender bound to a loopback "Ethernet" adapter, sending to a loopback peer.
class SenderOnLoopback : public ::testing::Test {
 protected:
  void SetUp() override {
    // Waiting from before the sender's start: the motion frame is stale.
    link().networkTxQueue().pushIfBelow(kEarlyHost.data(), kEarlyHost.size(), kTransmitQueueBound);
    const auto stale = motionFrame(99);
    link().networkTxQueue().pushIfBelow(stale.data(), stale.size(), kTransmitQueueBound);
    udp_.setMulticastAddress("127.0.0.1");
    udp_.multicastPort = peer_.port();
    sender_ = std::thread([this] { runMulticastSender(link(), udp_); });
    ASSERT_TRUE(waitUntil([this] { return link().networkRunning() != 0; }, std::chrono::milliseconds(2000)));
  }
  void TearDown() override {
    link().stopRelay();
    if (sender_.joinable()) sender_.join();
  }
  RigLink& link() { return *link_; }

  const std::vector<uint8_t> kEarlyHost = bytesOf({0xF9, 0xF9, 0x12, 0x00, 0x01, 0x00, 0x0A, 0x0D});
  ScopedDocumentsFolder documents_;
  AdapterSeam seam_{AdapterQuery{AdapterQueryStep::none, 0,
                                 {{"Wi-Fi", kUp, kWireless, 1, {ip("192.0.2.1")}},
                                  {"Loopback as Ethernet", kUp, kEthernet, 10, {ip("127.0.0.1")}}}}};
  LoopbackPeer peer_;
  UdpLink udp_;
  std::unique_ptr<RigLink> link_ = std::make_unique<RigLink>();  // large: its queues hold fixed slots
  std::thread sender_;
};

TEST_F(SenderOnLoopback, QueuesCrcRepetitionIdleAndStop) {
  RigLink& link = this->link();
  const auto host = bytesOf({0xF9, 0xF9, 0x10, 0x00, 0x05, 0x00, 0x0A, 0x0D});
  const auto terminatorOnly = bytesOf({0x0A, 0x0D});
  ASSERT_EQ(link.sendMessage(host.data()), 1);
  ASSERT_EQ(link.sendMessage(terminatorOnly.data()), 1);
  const auto motion = motionFrame(1);
  ASSERT_EQ(link.networkTxQueue().pushIfBelow(motion.data(), motion.size(), kTransmitQueueBound), true);
  // Network queue: every message checksummed, the terminator-only one never
  // sent, the motion frame from before the start never either.
  EXPECT_EQ(peer_.receiveFor(std::chrono::milliseconds(150)),
            (std::vector<std::vector<uint8_t>>{checksummed(kEarlyHost), checksummed(host), checksummed(motion)}));
  EXPECT_TRUE(link.networkTxQueue().empty());

  // Auto queue: a lone message twelve times in terminated form before the
  // level report, then (counter at 1) a lone one eleven times checksummed after it.
  const auto autoMessage = bytesOf({0xF9, 0xF9, 0x11, 0x00, 0x01, 0x00, 0x0A, 0x0D});
  ASSERT_EQ(link.autoMessage(autoMessage.data()), 1);
  EXPECT_EQ(peer_.receiveFor(std::chrono::milliseconds(150)), std::vector<std::vector<uint8_t>>(12, autoMessage));
  link.autoChecksumFlag().store(1);
  ASSERT_EQ(link.autoMessage(autoMessage.data()), 1);
  EXPECT_EQ(peer_.receiveFor(std::chrono::milliseconds(150)),
            std::vector<std::vector<uint8_t>>(11, checksummed(autoMessage)));

  // The engine's frames, every 2.3 ms: each leaves as soon as it is queued,
  // not at the sender's next own tick (0 to 2 ms later).
  link.motionQueueWait().clear();
  constexpr int kFrames = 20;
  auto next = std::chrono::steady_clock::now();
  for (int i = 0; i < kFrames; ++i) {
    std::this_thread::sleep_until(next);
    const auto frame = motionFrame(static_cast<uint32_t>(100 + i));
    ASSERT_EQ(link.queueMotionFrame(frame.data(), frame.size()), 1);
    next += std::chrono::microseconds(2300);
  }
  EXPECT_EQ(peer_.receiveFor(std::chrono::milliseconds(100)).size(), static_cast<size_t>(kFrames));
  EXPECT_EQ(link.motionQueueWait().count(), static_cast<uint64_t>(kFrames));
  EXPECT_LT(link.motionQueueWait().quantileMs(0.5), 0.25);
  link.serialTxQueue().clear();

  // Serial link valid: nothing leaves; afterwards the waiting message does.
  link.mode().serialHeard();
  std::this_thread::sleep_for(std::chrono::milliseconds(120));
  link.networkTxQueue().pushIfBelow(host.data(), host.size(), kTransmitQueueBound);
  EXPECT_TRUE(peer_.receiveFor(std::chrono::milliseconds(250)).empty());
  link.mode().serialLost();
  EXPECT_EQ(peer_.receiveFor(std::chrono::milliseconds(250)), (std::vector<std::vector<uint8_t>>{checksummed(host)}));

  // Paused: the engine's motion queued meanwhile is stale and never sent; the
  // host's message still is, once resumed.
  ASSERT_EQ(link.pauseInterface(), 1);
  std::this_thread::sleep_for(std::chrono::milliseconds(120));
  for (uint32_t tag = 10; tag < 13; ++tag) {
    const auto frame = motionFrame(tag);
    ASSERT_EQ(link.sendMessage(frame.data()), 1);
  }
  ASSERT_EQ(link.sendMessage(host.data()), 1);
  EXPECT_TRUE(peer_.receiveFor(std::chrono::milliseconds(200)).empty());
  link.setAutoconnect(1);
  ASSERT_EQ(link.resumeInterface(), 1);
  EXPECT_EQ(peer_.receiveFor(std::chrono::milliseconds(250)), (std::vector<std::vector<uint8_t>>{checksummed(host)}));
  EXPECT_EQ(udp_.datagramsSent.load(), 3u + 12u + 11u + 20u + 1u + 1u);

  link.stopRelay();
  sender_.join();
  EXPECT_EQ(link.networkRunning(), 0);
  EXPECT_EQ(link.networkStopped(), 1);
  const auto log = logMessages(documents_.logFile());
  ASSERT_GE(log.size(), 4u);
  EXPECT_EQ(log.front(), "INFO Multicast Thread started.");
  EXPECT_TRUE(contains(log, "INFO Multicastthread: Bound to Ip: 127.0.0.1"));
  EXPECT_TRUE(contains(log, "INFO Multicastthread: starting Timer"));
  EXPECT_EQ(log[log.size() - 2].rfind("INFO Multicastthread: Closing Socket:", 0), 0u);
  EXPECT_EQ(log.back().rfind("INFO Multicastthread: Exiting:", 0), 0u);
}

TEST(MulticastSender, WithoutEthernetEndsAtOnceAndEndsTheListener) {
  ScopedDocumentsFolder documents;
  auto owned = std::make_unique<RigLink>();
  RigLink& link = *owned;
  AdapterSeam seam(AdapterQuery{AdapterQueryStep::none, 0, {{"Wi-Fi", kUp, kWireless, 1, {ip("192.0.2.1")}}}});
  UdpLink udp;
  udp.listenPort = freeUdpPort();
  std::thread listener([&] { runUdpListener(link, udp); });
  ASSERT_TRUE(waitUntil([&] { return link.networkRunning() != 0; }, std::chrono::milliseconds(2000)));
  const auto started = std::chrono::steady_clock::now();
  runMulticastSender(link, udp);
  listener.join();
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(500));
  EXPECT_EQ(link.networkRunning(), 0);
  EXPECT_EQ(link.networkStopped(), 1);
  EXPECT_EQ(link.threads().runningMask(), 0);
  const auto log = logMessages(documents.logFile());
  EXPECT_TRUE(contains(log, "INFO Multicastthread:No suitable Ethernet found , exiting"));
  EXPECT_TRUE(contains(log, "INFO Udp listen thread: closing"));
}

// The listener on a free loopback port, with UDP mode expiring after 400 ms.
TEST(UdpListener, ModeQueuesExpiryAndSerialExclusion) {
  ScopedDocumentsFolder documents;
  auto owned = std::make_unique<RigLink>();
  RigLink& link = *owned;
  UdpLink udp;
  udp.listenPort = freeUdpPort();
  udp.framesExpiryNs = 400'000'000;
  std::thread listener([&] { runUdpListener(link, udp); });
  ASSERT_TRUE(waitUntil([&] { return link.networkRunning() != 0; }, std::chrono::milliseconds(2000)));
  LoopbackPeer rig;
  const uint16_t port = static_cast<uint16_t>(udp.listenPort.load());
  std::this_thread::sleep_for(std::chrono::milliseconds(50));  // the port is open by now

  // Random bytes change nothing.
  std::vector<uint8_t> noise(200);
  for (size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<uint8_t>((i * 73 + 11) % 251);
  rig.sendTo(port, noise);
  std::this_thread::sleep_for(std::chrono::milliseconds(60));
  EXPECT_NE(link.mode().transport(), LinkTransport::udp);
  EXPECT_TRUE(link.networkRxQueue().empty());

  // Queued while the rig was unheard: motion is dropped when UDP mode starts, the host message stays.
  const auto host = bytesOf({0xF9, 0xF9, 0x10, 0x00, 0x05, 0x00, 0x0A, 0x0D});
  const auto motion = motionFrame(7);
  ASSERT_EQ(link.sendMessage(motion.data()), 1);
  ASSERT_EQ(link.sendMessage(host.data()), 1);
  ASSERT_EQ(link.sendMessage(motion.data()), 1);
  const auto identity = bytesOf({0xF9, 0xF9, 0x01, 0x00, 0x01, 0x00, 0x88, 0x11});
  const auto level = checksummed(bytesOf({0xF9, 0xF9, 0x02, 0x00, 28, 3, 0, 0}));
  std::vector<uint8_t> twoFrames = identity;
  twoFrames.insert(twoFrames.end(), level.begin(), level.end());
  rig.sendTo(port, twoFrames);
  ASSERT_TRUE(waitUntil([&] { return link.mode().transport() == LinkTransport::udp; }, std::chrono::milliseconds(1000)));
  const auto validAt = std::chrono::steady_clock::now();
  EXPECT_EQ(link.autoChecksum(), 1);
  EXPECT_EQ(link.facts().level.load(), 328);
  uint8_t read[512] = {};
  ASSERT_TRUE(waitUntil([&] { return link.newMessage() == 1; }, std::chrono::milliseconds(500)));
  ASSERT_EQ(link.readMessage(read), 8);
  EXPECT_EQ(std::vector<uint8_t>(read, read + 8), bytesOf({0xF9, 0xF9, 0x01, 0x00, 0x01, 0x00, 0x0A, 0x0D}));
  ASSERT_EQ(link.readMessage(read), 8);
  EXPECT_EQ(read[4], 28);
  uint8_t front[512];
  ASSERT_EQ(link.networkTxQueue().size(), 1u);
  link.networkTxQueue().copyFront(front);
  EXPECT_EQ(std::vector<uint8_t>(front, front + 8), host);
  EXPECT_EQ(link.serialTxQueue().size(), 3u);

  // Silence: UDP mode holds until the expiry, then both transmit queues are empty.
  ASSERT_TRUE(waitUntil([&] { return link.mode().transport() != LinkTransport::udp; }, std::chrono::milliseconds(2000)));
  const auto held = std::chrono::steady_clock::now() - validAt;
  EXPECT_GE(held, std::chrono::milliseconds(380));
  EXPECT_LT(held, std::chrono::milliseconds(900));
  EXPECT_TRUE(link.networkTxQueue().empty());
  EXPECT_TRUE(link.serialTxQueue().empty());
  EXPECT_EQ(link.facts().linksLost.load(), 1);  // the rig went silent: a lost link

  // While the serial link talks, datagrams wait in the socket; they are read after.
  link.mode().serialHeard();
  std::this_thread::sleep_for(std::chrono::milliseconds(120));
  rig.sendTo(port, identity);
  std::this_thread::sleep_for(std::chrono::milliseconds(250));
  EXPECT_NE(link.mode().transport(), LinkTransport::udp);
  EXPECT_TRUE(link.networkRxQueue().empty());
  link.mode().serialLost();
  EXPECT_TRUE(waitUntil([&] { return link.mode().transport() == LinkTransport::udp; }, std::chrono::milliseconds(1000)));
  EXPECT_EQ(link.networkRxQueue().size(), 1u);

  const auto stopAt = std::chrono::steady_clock::now();
  link.stopRelay();
  EXPECT_LT(std::chrono::steady_clock::now() - stopAt, std::chrono::milliseconds(150));
  listener.join();
  EXPECT_NE(link.mode().transport(), LinkTransport::udp);  // no listener, no UDP mode: the serial relay may work
  EXPECT_EQ(link.facts().linksLost.load(), 1);  // a stop is no loss
  const auto log = logMessages(documents.logFile());
  ASSERT_GE(log.size(), 5u);
  EXPECT_EQ(log[0], "INFO Udp listen thread: starting");
  EXPECT_EQ(log[1], "INFO Udp class init");
  EXPECT_EQ(log[2], "INFO Opening port: " + std::to_string(port));
  EXPECT_EQ(log[3], "INFO Port " + std::to_string(port) + " opened successfully.");
  EXPECT_EQ(log[4], "INFO Udp listen thread: port opened starting main routine");
  EXPECT_EQ(log[log.size() - 2], "INFO Udp listen thread: closing");
  EXPECT_EQ(log.back(), "INFO Port closed.");
}

// The link is UDP with the rig at 127.0.0.1. Valid frames from a second
// address are not even parsed: they queue nothing, latch nothing, refresh
// nothing and take nothing over; UDP mode ends at the rig's own expiry.
TEST(UdpListener, ForgedDatagramsFromASecondAddressChangeNothing) {
#if defined(_WIN32)
  // Wine sends a socket's datagrams bound to 127.0.0.2 from 127.0.0.1: the
  // forger would be the rig itself there.
  GTEST_SKIP() << "needs a second loopback source address, which Wine does not keep";
#endif
  ScopedDocumentsFolder documents;
  auto owned = std::make_unique<RigLink>();
  RigLink& link = *owned;
  UdpLink udp;
  udp.listenPort = freeUdpPort();
  udp.framesExpiryNs = 400'000'000;
  std::thread listener([&] { runUdpListener(link, udp); });
  ASSERT_TRUE(waitUntil([&] { return link.networkRunning() != 0; }, std::chrono::milliseconds(2000)));
  LoopbackPeer rig;
  LoopbackPeer forger(ip("127.0.0.2"));
  const uint16_t port = static_cast<uint16_t>(udp.listenPort.load());
  std::this_thread::sleep_for(std::chrono::milliseconds(50));  // the port is open by now

  rig.sendTo(port, bytesOf({0xF9, 0xF9, 0x01, 0x00, 0x01, 0x00, 0x88, 0x11}));
  ASSERT_TRUE(waitUntil([&] { return link.mode().transport() == LinkTransport::udp; }, std::chrono::milliseconds(1000)));
  const auto heardAt = std::chrono::steady_clock::now();
  EXPECT_EQ(link.mode().udpPeer(), ip("127.0.0.1"));
  uint8_t read[512];
  ASSERT_EQ(link.readMessage(read), 8);

  // A level report (it would latch checksummed auto messages) and a reply
  // the host would read, every 50 ms until shortly before the rig's expiry.
  std::vector<uint8_t> forged = checksummed(bytesOf({0xF9, 0xF9, 0x02, 0x00, 28, 3, 0, 0}));
  const auto reply = bytesOf({0xF9, 0xF9, 0x05, 0x00, 0x66, 0x00, 0x0A, 0x0D});
  forged.insert(forged.end(), reply.begin(), reply.end());
  while (std::chrono::steady_clock::now() - heardAt < std::chrono::milliseconds(330)) {
    forger.sendTo(port, forged);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  EXPECT_EQ(link.mode().udpPeer(), ip("127.0.0.1"));
  EXPECT_EQ(link.newMessage(), 0);
  EXPECT_TRUE(link.networkRxQueue().empty());
  EXPECT_EQ(link.autoChecksum(), 0);
  // Ended 400 ms after the rig's frame; each forged frame would have moved
  // the end to 400 ms after it (700 ms or later).
  ASSERT_TRUE(waitUntil([&] { return link.mode().transport() != LinkTransport::udp; }, std::chrono::milliseconds(2000)));
  EXPECT_LT(std::chrono::steady_clock::now() - heardAt, std::chrono::milliseconds(680));

  link.stopRelay();
  listener.join();
}

// A destination the system refuses (port 0 on loopback): every send fails.
// The sender logs it, keeps the message, tries again after a growing delay,
// and ends neither itself nor the listener; a stop still ends both at once.
TEST(MulticastSender, RefusedSendsAreRetriedWithBackOffAndEndNothing) {
  ScopedDocumentsFolder documents;
  auto owned = std::make_unique<RigLink>();
  RigLink& link = *owned;
  AdapterSeam seam(
      AdapterQuery{AdapterQueryStep::none, 0, {{"Loopback as Ethernet", kUp, kEthernet, 10, {ip("127.0.0.1")}}}});
  UdpLink udp;
  udp.listenPort = freeUdpPort();
  udp.setMulticastAddress("127.0.0.1");
  udp.multicastPort = 0;
  std::thread listener([&] { runUdpListener(link, udp); });
  std::thread sender([&] { runMulticastSender(link, udp); });
  ASSERT_TRUE(waitUntil([&] { return udp.senderAdapter.load() != 0; }, std::chrono::milliseconds(2000)));
  const auto host = bytesOf({0xF9, 0xF9, 0x10, 0x00, 0x05, 0x00, 0x0A, 0x0D});
  ASSERT_EQ(link.sendMessage(host.data()), 1);
  // Delays of 10, 20, 40, 80, 160 ms: about six tries in 400 ms, where a
  // sender without back-off would try every pass (some 200 times).
  std::this_thread::sleep_for(std::chrono::milliseconds(400));
  const uint64_t failures = udp.sendFailures.load();
  EXPECT_GE(failures, 3u);
  EXPECT_LE(failures, 9u);
  EXPECT_EQ(link.networkRunning(), 1);
  EXPECT_EQ(link.networkTxQueue().size(), 1u);  // still waiting to be sent

  const auto stopAt = std::chrono::steady_clock::now();
  link.stopRelay();
  EXPECT_LT(std::chrono::steady_clock::now() - stopAt, std::chrono::milliseconds(150));
  sender.join();
  listener.join();
  const auto log = logMessages(documents.logFile());
  size_t failedLines = 0;
  for (const auto& line : log) failedLines += line.rfind("INFO Multicastthread: Send failed:", 0) == 0 ? 1 : 0;
  EXPECT_GE(failedLines, 2u);  // the first failure, then at 2, 4, 8 ... in a row
  EXPECT_LE(failedLines, 4u);
  EXPECT_TRUE(std::any_of(log.begin(), log.end(),
                          [](const std::string& l) { return l.rfind("INFO Multicastthread: Exiting:", 0) == 0; }));
}

}  // namespace
}  // namespace portrelay
