// The client against the simulated simulator: packets checked on the far
// side byte for byte, messages coming back whole, and a peer that quits,
// breaks off or sends garbage.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <map>
#include <thread>

#include "platform/registry.h"
#include "simclient/client.h"
#include "simclient/packets.h"
#include "simserver/sim_server.h"
#include "sources/readers/flight_simulator.h"
#include "support/game_fixtures.h"
#include "support/temp_dir.h"
#include "tools/platform/fake_platform.h"

namespace portrelay::simclient {
namespace {

using namespace std::chrono_literals;
using testing::waitUntil;

struct ClientAgainstServer : ::testing::Test {
  testing::TempDir dir;
  std::string config = (dir.path() / "SimConnect.cfg").string();
  std::unique_ptr<simserver::SimServer> server;
  std::unique_ptr<ClientClient> client;

  void SetUp() override {
    simserver::ServerOptions options;
    options.rateHz = 0.0;  // data only when a case sends it
    server = std::make_unique<simserver::SimServer>(options);
    ASSERT_TRUE(server->start());
    std::ofstream(config) << "[SimConnect]\nProtocol=IPv4\nAddress=127.0.0.1\nDisableNagle=1\nPort="
                          << server->tcpPort() << "\n";
    ASSERT_EQ(ClientClient::open(client, readers::kFlightSimClientName, {}, {config}), kResultOk);
    ASSERT_NE(client, nullptr);
    EXPECT_EQ(client->transportKind(), TransportKind::Socket);
    ASSERT_TRUE(waitUntil([&] { return server->clientConnected(); }));
  }
  void TearDown() override {
    ClientClient::close(std::move(client));
    EXPECT_EQ(openClientCount(), 0);
    server->stop();
  }

  // Next dispatch until a message comes (or two seconds pass).
  std::vector<uint8_t> nextMessage() {
    std::vector<uint8_t> out;
    waitUntil([&] {
      const uint8_t* bytes = nullptr;
      uint32_t size = 0;
      if (client->nextDispatch(bytes, size) != kResultOk) return false;
      out.assign(bytes, bytes + size);
      return true;
    }, 2s);
    return out;
  }
  uint32_t idOf(const std::vector<uint8_t>& m) { return m.size() >= 12 ? messageU32(m, 8) : 0; }
};

TEST_F(ClientAgainstServer, SetUpPacketsAndRepliesTravelWhole) {
  // The reader's whole set-up, checked packet by packet on the server side.
  readers::ClientConnection connection(std::move(client));
  ASSERT_TRUE(connection.setUp());
  ASSERT_TRUE(waitUntil([&] { return server->setUpComplete(); }));
  EXPECT_EQ(server->violations(), std::vector<std::string>{});
  EXPECT_EQ(connection.lastResult(), kResultOk);
}

TEST_F(ClientAgainstServer, DispatchHandsOutMessagesInOrder) {
  EXPECT_EQ(idOf(nextMessage()), simserver::kMessageOpen);
  const uint8_t* bytes = nullptr;
  uint32_t size = 0;
  EXPECT_EQ(client->nextDispatch(bytes, size), kResultFail);  // nothing waiting
  // A burst, with a message too short to carry anything in the middle.
  std::vector<uint8_t> burst;
  for (const auto& m : {simserver::eventMessage(4), simserver::objectDataMessage(0, simserver::FlightScript().at(3.0)),
                        std::vector<uint8_t>{8, 0, 0, 0, 5, 0, 0, 0}, simserver::quitMessage()})
    burst.insert(burst.end(), m.begin(), m.end());
  ASSERT_TRUE(server->sendBytes(burst));
  EXPECT_EQ(idOf(nextMessage()), simserver::kMessageEvent);
  const auto data = nextMessage();
  ASSERT_EQ(data.size(), simserver::kObjectDataSize);
  EXPECT_EQ(std::memcmp(data.data(), burst.data() + 24, data.size()), 0);
  EXPECT_EQ(client->nextDispatch(bytes, size), kResultFail);  // the 8-byte message, dropped
  EXPECT_EQ(idOf(nextMessage()), simserver::kMessageQuit);
  EXPECT_EQ(client->storedError(), kResultOk);
}

TEST_F(ClientAgainstServer, TextsLongerThanTheirFieldAreRefusedUnsent) {
  const std::string longest(255, 'A'), tooLong(256, 'A');
  EXPECT_EQ(client->subscribeToSystemEvent(1, tooLong), kResultNameTooLong);
  EXPECT_EQ(client->addToDataDefinition(0, "SIM ON GROUND", tooLong, 2, 0.0f, 0xFFFFFFFFu), kResultNameTooLong);
  const uint32_t id = client->nextSendId();
  EXPECT_EQ(client->subscribeToSystemEvent(1, longest), kResultOk);  // fits with its NUL
  EXPECT_EQ(client->nextSendId(), id + 1);
  std::unique_ptr<ClientClient> other;
  EXPECT_EQ(ClientClient::open(other, tooLong, {}, {config}), kResultNameTooLong);
  EXPECT_EQ(other, nullptr);
  // The server saw the subscription after the open (out of the set-up order,
  // so it counts it as one violation), and no packet for the refused calls.
  ASSERT_TRUE(waitUntil([&] { return server->violations().size() == 1; }));
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(server->violations().size(), 1u);
}

TEST(PacketIds, SendIdsWrapToOne) {
  EXPECT_EQ(nextSendId(1), 2u);
  EXPECT_EQ(nextSendId(0xFFFFFFFEu), 0xFFFFFFFFu);
  EXPECT_EQ(nextSendId(0xFFFFFFFFu), 1u);
}

// A peer that breaks the stream: each case ends with the connection broken,
// every message before the break handed out, and no call waiting or reading
// past what arrived.
TEST_F(ClientAgainstServer, GarbageAndLossBreakTheConnectionCleanly) {
  nextMessage();  // the open reply
  ASSERT_TRUE(server->sendBytes(simserver::eventMessage(5)));
  std::vector<uint8_t> garbage = {0, 0, 0, 0, 0xFF, 0xFF};  // a size field of 0
  ASSERT_TRUE(server->sendBytes(garbage));
  EXPECT_EQ(idOf(nextMessage()), simserver::kMessageEvent);
  const uint8_t* bytes = nullptr;
  uint32_t size = 0;
  ASSERT_TRUE(waitUntil([&] { return client->nextDispatch(bytes, size) != kResultFail; }, 2s));
  const ClientResult broken = client->storedError();
  EXPECT_LT(broken, 0);
  EXPECT_NE(broken, kResultFail);
  EXPECT_EQ(client->nextDispatch(bytes, size), broken);
  EXPECT_EQ(client->subscribeToSystemEvent(1, "Sim"), broken);  // nothing more is sent
  SampleRecord record;
  int32_t ground = 0;
  ClientResult last = kResultOk;
  EXPECT_FALSE(readers::flightsim::pollMessages(*client, record, ground, last));
}

TEST_F(ClientAgainstServer, AServerThatGoesAwayBreaksTheConnection) {
  nextMessage();
  ASSERT_TRUE(server->sendBytes(simserver::quitMessage()));
  std::this_thread::sleep_for(50ms);
  server->stop();  // closes the stream
  EXPECT_EQ(idOf(nextMessage()), simserver::kMessageQuit);  // what came before stays readable
  const uint8_t* bytes = nullptr;
  uint32_t size = 0;
  ASSERT_TRUE(waitUntil([&] { return client->nextDispatch(bytes, size) != kResultFail; }, 2s));
  EXPECT_LT(client->storedError(), 0);
  EXPECT_NE(client->storedError(), kResultFail);
}

// Without a configured port the TCP ports come from the registry: the pipe
// fails, IPv6 on ::1 finds nobody at its port, IPv4 on 127.0.0.1 reaches the
// server. Registry values that do not fit 20 bytes count as missing.
TEST(ClientOpen, FallsBackToTheRegistryPorts) {
  simserver::ServerOptions options;
  options.rateHz = 0.0;
  simserver::SimServer server(options);
  ASSERT_TRUE(server.start());
  const std::string key = "SOFTWARE\\Microsoft\\Microsoft Games\\KittyHawk\\";
  const std::string port = std::to_string(server.tcpPort());
  testing::TempDir dir;
  const std::string ipv4Only = (dir.path() / "SimConnect.cfg").string();
  std::ofstream(ipv4Only) << "[SimConnect]\nProtocol=IPv4\n";
  struct Case {
    const char* name;
    std::map<std::string, std::string> registry;
    std::vector<std::string> files;
    bool connects;
  };
  const std::vector<Case> cases = {
      {"pipe, IPv6, IPv4", {{key + "SimConnect_Port_IPv6", port}, {key + "SimConnect_Port_IPv4", port}}, {}, true},
      {"IPv4 configured, port from the registry", {{key + "SimConnect_Port_IPv4", port}}, {ipv4Only}, true},
      {"IPv4 port only under the IPv6 name", {{key + "SimConnect_Port_IPv6", port}}, {ipv4Only}, false},
      {"value longer than its buffer", {{key + "SimConnect_Port_IPv4", std::string(19, '0') + port}}, {}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::unique_ptr<ClientClient> client;
    const int served = server.clientsServed();
    {
      const platform::ScopedPlatform registry(platform::FakePlatform().withUserRegistry(c.registry));
      EXPECT_EQ(ClientClient::open(client, "Tiltaverse", {}, c.files), c.connects ? kResultOk : kResultFail);
    }
    if (c.connects) {
      ASSERT_NE(client, nullptr);
      EXPECT_EQ(client->transportKind(), TransportKind::Socket);
      EXPECT_TRUE(waitUntil([&] { return server.clientsServed() == served + 1; }));
    }
    ClientClient::close(std::move(client));
    ASSERT_TRUE(waitUntil([&] { return !server.clientConnected(); }));
  }
  EXPECT_EQ(server.clientsServed(), 2);
  EXPECT_EQ(server.violations(), std::vector<std::string>{});
}

TEST(ClientOpen, NothingToReachFailsAtOnce) {
  testing::TempDir dir;
  // Pipe first: the default pipe, or one named in the file, is not there,
  // and no registry port leads anywhere (IPv4 and IPv6 fallbacks, then the
  // default pipe once more).
  const std::string config = (dir.path() / "SimConnect.cfg").string();
  for (const std::string text : {"", "[SimConnect]\nProtocol=Pipe\nAddress=.\nPort=NoSuchPipe\n"}) {
    std::ofstream(config) << text;
    std::unique_ptr<ClientClient> client;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ClientClient::open(client, "Tiltaverse", {}, {config}), kResultFail);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    EXPECT_EQ(client, nullptr);
    EXPECT_EQ(openClientCount(), 0);
  }
}

}  // namespace
}  // namespace portrelay::simclient
