// The UDP endpoint on loopback ports, with its log lines.
#include "net/udp.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "support/game_fixtures.h"
#include "support/temp_dir.h"

namespace portrelay {
namespace {

using testing::ScopedDocumentsFolder;
using testing::freeUdpPort;
using testing::readFile;

// A loopback sender: one datagram per millisecond to a port, bounded in count and time.
class LoopbackStream {
 public:
  explicit LoopbackStream(uint16_t port, int limit = 400) {
    thread_ = std::thread([this, port, limit] {
      platform::NetworkStartup startup;
      platform::startNetworking(startup);
      const platform::SocketHandle socket = platform::openUdpSocket();
      const uint8_t datagram[32] = {'p', 'r'};
      for (int i = 0; i < limit && running_.load(); ++i) {
        platform::sendTo(socket, datagram, sizeof datagram, platform::loopbackAddress(port));
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
      platform::closeSocket(socket);
      platform::stopNetworking();
    });
  }
  ~LoopbackStream() {
    running_.store(false);
    thread_.join();
  }

 private:
  std::atomic<bool> running_{true};
  std::thread thread_;
};

void sendOnce(uint16_t port, size_t size, uint8_t fill) {
  platform::NetworkStartup startup;
  platform::startNetworking(startup);
  const platform::SocketHandle socket = platform::openUdpSocket();
  std::vector<uint8_t> datagram(size, fill);
  platform::sendTo(socket, datagram.data(), static_cast<int>(size), platform::loopbackAddress(port));
  platform::closeSocket(socket);
  platform::stopNetworking();
}

std::vector<uint8_t> receiveWithin(Udp& udp, std::chrono::milliseconds limit) {
  std::vector<uint8_t> datagram;
  testing::waitUntil([&] { return !(datagram = udp.receive()).empty(); }, limit);
  return datagram;
}

TEST(Udp, OpenReceiveCloseWithLogLines) {
  ScopedDocumentsFolder documents;
  const uint16_t port = freeUdpPort();
  {
    Udp udp;
    EXPECT_EQ(udp.dataSeen, 0);
    ASSERT_TRUE(udp.open(port));
    sendOnce(port, 100, 7);
    const auto datagram = receiveWithin(udp, std::chrono::seconds(2));
    ASSERT_EQ(datagram.size(), 100u);
    EXPECT_EQ(datagram[99], 7);
    EXPECT_EQ(platform::addressText(udp.address), "127.0.0.1");
    EXPECT_TRUE(udp.receive().empty());
    EXPECT_EQ(udp.close(), 0);
    EXPECT_FALSE(udp.isOpen());
  }
  const std::string log = readFile(documents.logFile());
  const std::string p = std::to_string(port);
  for (const std::string& line : std::vector<std::string>{"[INFO] [", "] Udp class init", "] Opening port: " + p,
                                 "] Port " + p + " opened successfully.", "] Port closed."})
    EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
}

TEST(Udp, OpenOnABoundPortFailsCleanly) {
  ScopedDocumentsFolder documents;
  platform::NetworkStartup startup;
  platform::startNetworking(startup);
  const platform::SocketHandle holder = platform::openUdpSocket();
  ASSERT_TRUE(platform::bindSocket(holder, platform::anyAddress(0)));
  const uint16_t port = platform::portOf(platform::localAddress(holder));
  {
    Udp udp;
    EXPECT_FALSE(udp.open(port));
    EXPECT_FALSE(udp.isOpen());
    EXPECT_TRUE(udp.receive().empty());
    EXPECT_TRUE(udp.receive().empty());
  }
  platform::closeSocket(holder);
  platform::stopNetworking();
  EXPECT_NE(readFile(documents.logFile()).find("[ERROR] ["), std::string::npos);
  EXPECT_NE(readFile(documents.logFile()).find("] Binding socket failed with error: "), std::string::npos);
}

TEST(Udp, OnlyTheLowSixteenBitsPickThePort) {
  ScopedDocumentsFolder documents;
  const uint16_t port = freeUdpPort();
  const int32_t argument = port + 65536;
  Udp udp;
  ASSERT_TRUE(udp.open(argument));
  sendOnce(port, 8, 1);
  EXPECT_EQ(receiveWithin(udp, std::chrono::seconds(2)).size(), 8u);
  udp.close();
  EXPECT_NE(readFile(documents.logFile()).find("Opening port: " + std::to_string(argument)), std::string::npos);
}

TEST(Udp, OversizeDatagramIsSkipped) {
  ScopedDocumentsFolder documents;
  const uint16_t port = freeUdpPort();
  Udp udp;
  ASSERT_TRUE(udp.open(port));
  sendOnce(port, 9000, 1);
  sendOnce(port, 50, 2);
  const auto datagram = receiveWithin(udp, std::chrono::seconds(2));
  ASSERT_EQ(datagram.size(), 50u);
  EXPECT_EQ(datagram[0], 2);
  udp.close();
}

TEST(Udp, ProbeSeesAStreamAndLeavesThePortFree) {
  ScopedDocumentsFolder documents;
  const uint16_t port = freeUdpPort();
  Udp udp;
  {
    LoopbackStream stream(port);
    EXPECT_EQ(udp.probe(port), 1);
  }
  EXPECT_EQ(udp.dataSeen, 1);
  EXPECT_EQ(platform::addressText(udp.address), "127.0.0.1");
  EXPECT_FALSE(udp.isOpen());
  EXPECT_TRUE(udp.open(port));  // the probe closed its socket
  udp.close();
}

TEST(Udp, ProbeOfASilentPortAnswersZeroAfterItsWindow) {
  ScopedDocumentsFolder documents;
  const uint16_t port = freeUdpPort();
  Udp udp;
  udp.dataSeen = 1;
  const auto begin = std::chrono::steady_clock::now();
  EXPECT_EQ(udp.probe(port), 0);
  const auto took = std::chrono::steady_clock::now() - begin;
  EXPECT_GE(took, std::chrono::milliseconds(19));
  EXPECT_LT(took, std::chrono::milliseconds(500));
}

// A probe that cannot watch the port answers 0, whatever an earlier probe saw:
// a game must not look present while another program holds its port.
TEST(Udp, ProbeThatCannotProbeAnswersZero) {
  ScopedDocumentsFolder documents;
  const uint16_t port = freeUdpPort();
  Udp holder;
  ASSERT_TRUE(holder.open(port));
  Udp udp;
  udp.dataSeen = 1;
  EXPECT_EQ(udp.probe(port), 0);  // the port is held: no bind
  EXPECT_EQ(udp.dataSeen, 0);
  EXPECT_FALSE(udp.isOpen());
  holder.dataSeen = 1;
  EXPECT_EQ(holder.probe(port), 0);  // its own port is open: nothing to probe with
  EXPECT_TRUE(holder.isOpen());
  holder.close();
}

TEST(Udp, CloseWithoutOpenReleasesNothing) {
  ScopedDocumentsFolder documents;
  const uint16_t port = freeUdpPort();
  Udp open;
  ASSERT_TRUE(open.open(port));
  {
    Udp never;
    EXPECT_EQ(never.close(), 0);
    EXPECT_EQ(never.close(), 0);
  }
  // The open object's network start-up is still held: it keeps receiving.
  sendOnce(port, 12, 3);
  EXPECT_EQ(receiveWithin(open, std::chrono::seconds(2)).size(), 12u);
  open.close();
}

}  // namespace
}  // namespace portrelay
