// The socket service on loopback.
#include "platform/sockets.h"

#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include "support/game_fixtures.h"

namespace portrelay::platform {
namespace {

struct Networking : ::testing::Test {
  NetworkStartup startup;
  void SetUp() override { ASSERT_EQ(startNetworking(startup), 0); }
  void TearDown() override { stopNetworking(); }
};

TEST(SocketAddresses, Layout) {
  const SocketAddress any = anyAddress(4321);
  EXPECT_EQ(portOf(any), 4321);
  EXPECT_EQ(addressText(any), "0.0.0.0");
  EXPECT_EQ(addressText(loopbackAddress(1)), "127.0.0.1");
  const auto* bytes = reinterpret_cast<const uint8_t*>(&any);
  EXPECT_EQ(bytes[2], 0x10);  // 4321 = 0x10E1, network order
  EXPECT_EQ(bytes[3], 0xE1);
}

TEST_F(Networking, OversizeDatagramIsAnErrorAndTheNextArrives) {
  const SocketHandle receiver = openUdpSocket();
  ASSERT_TRUE(bindSocket(receiver, loopbackAddress(0)));
  const SocketAddress target = localAddress(receiver);
  const SocketHandle sender = openUdpSocket();
  std::vector<uint8_t> big(9000, 1), small(10, 2);
  ASSERT_EQ(sendTo(sender, big.data(), static_cast<int>(big.size()), target), 9000);
  ASSERT_EQ(sendTo(sender, small.data(), static_cast<int>(small.size()), target), 10);
  uint8_t buffer[8192];
  SocketAddress from;
  int32_t fromLength = 0;
  ASSERT_EQ(waitReadable(receiver, 1000000), Readiness::Ready);
  EXPECT_EQ(receiveFrom(receiver, buffer, 8192, &from, &fromLength), -1);
  ASSERT_EQ(waitReadable(receiver, 1000000), Readiness::Ready);
  EXPECT_EQ(receiveFrom(receiver, buffer, 8192, &from, &fromLength), 10);
  EXPECT_EQ(buffer[0], 2);
  EXPECT_EQ(addressText(from), "127.0.0.1");
  EXPECT_EQ(fromLength, kSocketAddressLength);
  closeSocket(sender);
  closeSocket(receiver);
}

TEST_F(Networking, ReadinessWaitTimesOut) {
  const SocketHandle socket = openUdpSocket();
  ASSERT_TRUE(bindSocket(socket, loopbackAddress(0)));
  const auto begin = std::chrono::steady_clock::now();
  EXPECT_EQ(waitReadable(socket, 20000), Readiness::Timeout);
  const auto waited = std::chrono::steady_clock::now() - begin;
  EXPECT_GE(waited, std::chrono::milliseconds(19));
  EXPECT_LT(waited, std::chrono::milliseconds(500));
  closeSocket(socket);
}

TEST_F(Networking, RefusedConnectFailsWithinItsLimit) {
  const uint16_t port = testing::freeTcpPort();
  const SocketHandle socket = openTcpSocket();
  const auto begin = std::chrono::steady_clock::now();
  EXPECT_FALSE(connectSocket(socket, loopbackAddress(port), 500));
  EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::milliseconds(1500));
  EXPECT_FALSE(socketErrorText(lastSocketError()).empty());
  closeSocket(socket);
}

TEST_F(Networking, SecondBindOfAPortFails) {
  const SocketHandle first = openUdpSocket();
  ASSERT_TRUE(bindSocket(first, anyAddress(0)));
  const uint16_t port = portOf(localAddress(first));
  const SocketHandle second = openUdpSocket();
  EXPECT_FALSE(bindSocket(second, anyAddress(port)));
  closeSocket(second);
  closeSocket(first);
}

}  // namespace
}  // namespace portrelay::platform
