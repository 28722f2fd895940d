// Detection through the registry: priority, the per-game tests, probes and handshakes.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <vector>

#include "gamesim/assetto_corsa_sim.h"
#include "gamesim/nolimits2_sim.h"
#include "gamesim/pcars2_sim.h"
#include "gamesim/raceroom_sim.h"
#include "gamesim/simulation_runner.h"
#include "gamesim/udp_game_sim.h"
#include "platform/processes.h"
#include "platform/sockets.h"
#include "sources/game_source.h"
#include "sources/readers/flight_simulator.h"
#include "sources/readers/network_games.h"
#include "sources/readers/nolimits2.h"
#include "support/game_fixtures.h"

namespace portrelay {
namespace {

using namespace std::chrono_literals;
using testing::IsolatedGames;
using testing::launchGame;
using testing::waitUntil;

struct Detection : ::testing::Test {
  IsolatedGames scope;  // first: the registry's endpoints log into its folder
  GameSource source;
  gamesim::LapMotion lap;

  Detection() { source.setDetectionPauseMs(0); }
  // Only `id` keeps a reader, so a test meets no one else's ports or names.
  void keepOnly(int id, std::unique_ptr<GameReader> reader) {
    for (int other = 0; other < kGameCount; ++other) source.installReader(other, nullptr);
    source.installReader(id, std::move(reader));
  }
  // What the game's latest detection test saw (GameReader::kClues*).
  int32_t clues(int id) const { return source.reader(id)->detectionClues(); }
  std::string name() const {
    char buffer[32] = {};
    source.getGameName(buffer);
    return buffer;
  }
  std::unique_ptr<platform::ChildProcess> runProcess(const std::string& executable) {
    auto child = launchGame(scope, "idle", executable);
    const std::wstring wide(executable.begin(), executable.end());
    if (child != nullptr && !waitUntil([&] { return platform::isProcessRunning(wide); })) return nullptr;
    return child;
  }
};

// A game streaming fixed datagrams to a loopback port, 1000 a second, at most 2000.
class LoopbackStream {
 public:
  explicit LoopbackStream(uint16_t port) : game_(port), runner_(game_, 1000.0) {
    game_.start();
    runner_.start();
  }

 private:
  struct FixedDatagrams : gamesim::UdpGameSim {
    explicit FixedDatagrams(uint16_t port) : UdpGameSim(port, 2000) {}
    void encode(const gamesim::MotionSample&, std::vector<uint8_t>& datagram) override { datagram.assign(16, 1); }
  };
  FixedDatagrams game_;
  gamesim::SimulationRunner runner_;  // stops before the game goes
};

TEST_F(Detection, NothingRunning) {
  EXPECT_FALSE(source.detectGame());
  EXPECT_EQ(source.getGameID(), -1);
  EXPECT_EQ(name(), "No Game online");
  EXPECT_EQ(source.groundState(), -1);
  EXPECT_FALSE(source.attachGame());
  EXPECT_FALSE(source.readSample());
  EXPECT_FALSE(source.detachGame());
}

TEST_F(Detection, PausesBetweenTheEighteenTests) {
  for (int id = 0; id < kGameCount; ++id) source.installReader(id, nullptr);
  source.setDetectionPauseMs(10);
  const auto begin = std::chrono::steady_clock::now();
  EXPECT_FALSE(source.detectGame());
  const auto took = std::chrono::steady_clock::now() - begin;
  EXPECT_GE(took, 170ms);  // seventeen pauses, none after the last test
  EXPECT_LT(took, 1500ms);
}

TEST_F(Detection, EarlierGameInPriorityWins) {
  gamesim::AssettoCorsaSim ac;
  gamesim::ProjectCarsSim pcars;
  ASSERT_TRUE(pcars.start());
  ASSERT_TRUE(ac.start());
  ASSERT_TRUE(testing::detectWhileWriting(source, {&ac, &pcars}, 1.0));
  EXPECT_EQ(source.getGameID(), 3);
  EXPECT_EQ(name(), "AssettoCorsa/Comp.");
  EXPECT_EQ(source.groundState(), 0);
  ac.stop();
  ASSERT_TRUE(testing::detectWhileWriting(source, {&pcars}, 1.1));
  EXPECT_EQ(source.getGameID(), 9);
  EXPECT_EQ(name(), "PCAR2/Automobilista2");
}

TEST_F(Detection, OneFlagAfterADetection) {
  gamesim::ProjectCarsSim pcars;
  ASSERT_TRUE(pcars.start());
  ASSERT_TRUE(testing::detectWhileWriting(source, {&pcars}, 1.0));  // flag 9, never attached
  gamesim::AssettoCorsaSim ac;
  ASSERT_TRUE(ac.start());
  ASSERT_TRUE(testing::detectWhileWriting(source, {&ac}, 1.0));
  EXPECT_EQ(source.getGameID(), 3);
  EXPECT_TRUE(source.detachGame());
  EXPECT_EQ(source.getGameID(), -1);  // no stale flag of the earlier pass
}

TEST_F(Detection, AssettoCorsaOnlyWhileLive) {
  gamesim::AssettoCorsaSim ac;
  ASSERT_TRUE(ac.start());
  for (int32_t status : {gamesim::ac::kOff, gamesim::ac::kReplay, gamesim::ac::kPause}) {
    ac.setState(status);
    EXPECT_FALSE(testing::detectWhileWriting(source, {&ac}, 1.0)) << status;
  }
  ac.setState(gamesim::ac::kLive);
  EXPECT_TRUE(testing::detectWhileWriting(source, {&ac}, 1.0));
  EXPECT_EQ(source.getGameID(), 3);
}

TEST_F(Detection, RaceRoomNeedsItsProcessAndItsMemory) {
  gamesim::RaceRoomSim r3e;
  ASSERT_TRUE(r3e.start());
  EXPECT_FALSE(testing::detectWhileWriting(source, {&r3e}, 1.0));
  auto wrongCase = runProcess("rrre64.exe");
  ASSERT_NE(wrongCase, nullptr);
  EXPECT_FALSE(testing::detectWhileWriting(source, {&r3e}, 1.0));
  EXPECT_EQ(clues(4), 0);  // the process test comes first: nothing seen
  auto game = runProcess("RRRE.exe");
  ASSERT_NE(game, nullptr);
  ASSERT_TRUE(testing::detectWhileWriting(source, {&r3e}, 1.0));
  EXPECT_EQ(source.getGameID(), 4);
  r3e.stop();
  EXPECT_FALSE(source.detectGame());
  EXPECT_EQ(clues(4), GameReader::kCluesProcess);  // the game runs, its memory is gone
}

TEST_F(Detection, ProbeOnlyGameByItsDatagrams) {
  const uint16_t port = testing::freeUdpPort();
  keepOnly(5, std::make_unique<readers::DirtRally2Reader>(port));
  EXPECT_FALSE(source.detectGame());
  {
    LoopbackStream stream(port);
    ASSERT_TRUE(source.detectGame());
  }
  EXPECT_EQ(source.getGameID(), 5);
  EXPECT_EQ(name(), "DirtRally2");
  ASSERT_TRUE(source.attachGame());  // the probe left the port free
  EXPECT_FALSE(source.readSample());
  EXPECT_TRUE(source.detachGame());
  EXPECT_EQ(source.getGameID(), -1);
}

TEST_F(Detection, XPlaneNeedsDatagramsAndItsProcess) {
  const uint16_t port = testing::freeUdpPort();
  keepOnly(0, std::make_unique<readers::XPlaneReader>(port));
  {
    LoopbackStream stream(port);
    EXPECT_FALSE(source.detectGame());  // datagrams without the process
    EXPECT_EQ(clues(0), GameReader::kCluesTelemetry);
  }
  auto game = runProcess("X-Plane.exe");
  ASSERT_NE(game, nullptr);
  EXPECT_FALSE(source.detectGame());  // the process, silent
  EXPECT_EQ(clues(0), 0);              // the probe comes first: the process is not asked
  LoopbackStream stream(port);
  EXPECT_TRUE(source.detectGame());
  EXPECT_EQ(source.getGameID(), 0);
  EXPECT_EQ(clues(0), GameReader::kCluesTelemetry | GameReader::kCluesProcess);
}

TEST_F(Detection, ProcessFirstGameProbesOnlyWithItsProcess) {
  const uint16_t port = testing::freeUdpPort();
  keepOnly(7, std::make_unique<readers::F1Reader>(port));
  {
    LoopbackStream stream(port);
    EXPECT_FALSE(source.detectGame());
    EXPECT_EQ(clues(7), 0);
  }
  auto game = runProcess("F1_24_64.exe");
  ASSERT_NE(game, nullptr);
  EXPECT_FALSE(source.detectGame());
  EXPECT_EQ(clues(7), GameReader::kCluesProcess);  // the game runs, its telemetry is off
  LoopbackStream stream(port);
  EXPECT_TRUE(source.detectGame());
  EXPECT_EQ(source.getGameID(), 7);
}

TEST_F(Detection, NoLimitsHandshake) {
  gamesim::NoLimitsSim server(0);
  ASSERT_TRUE(server.start());
  keepOnly(8, std::make_unique<readers::NoLimits2Reader>(server.port()));
  ASSERT_TRUE(source.detectGame());
  EXPECT_EQ(source.getGameID(), 8);
  EXPECT_GE(server.requestsAnswered(), 1);
  ASSERT_TRUE(source.attachGame());
  EXPECT_TRUE(static_cast<readers::NoLimits2Reader*>(source.reader(8))->connected());
  EXPECT_TRUE(source.detachGame());
  server.stop();
  const auto begin = std::chrono::steady_clock::now();
  EXPECT_FALSE(source.detectGame());  // refused
  EXPECT_LT(std::chrono::steady_clock::now() - begin, 1000ms);
}

TEST_F(Detection, NoLimitsServerThatNeverAnswers) {
  platform::NetworkStartup startup;
  ASSERT_EQ(platform::startNetworking(startup), 0);
  const platform::SocketHandle listener = platform::openTcpSocket();
  ASSERT_TRUE(platform::bindSocket(listener, platform::loopbackAddress(0)));
  ASSERT_TRUE(platform::listenSocket(listener, 4));  // connections queue, nobody reads
  const uint16_t port = platform::portOf(platform::localAddress(listener));
  const auto begin = std::chrono::steady_clock::now();
  EXPECT_FALSE(readers::noLimitsHandshake(port));
  EXPECT_GE(std::chrono::steady_clock::now() - begin, 490ms);
  platform::closeSocket(listener);
  platform::stopNetworking();
}

TEST(NoLimitsRequest, Framing) {
  const auto request = readers::noLimitsRequest(0, 1234);
  const uint8_t expected[10] = {'N', 0, 0, 0, 0, 0x04, 0xD2, 0, 0, 'L'};
  EXPECT_EQ(std::memcmp(request.data(), expected, 10), 0);
  const auto telemetry = readers::noLimitsRequest(5, 3243);
  EXPECT_EQ(telemetry[2], 5);
  EXPECT_EQ(telemetry[5], 0x0C);
  EXPECT_EQ(telemetry[6], 0xAB);
}

// A stand-in for the simulator's client connection, to show how it plugs in.
struct FakeConnection : readers::FlightSimConnection {
  static inline std::atomic<int> open{0};
  FakeConnection() { ++open; }
  ~FakeConnection() override { --open; }
  bool setUp() override { return true; }
  bool read(SampleRecord&, int32_t& ground) override {
    ground = 1;
    return true;
  }
};

TEST_F(Detection, FlightSimulatorWithoutAClientConnectionFailsCleanly) {
  EXPECT_FALSE(source.detectGame());
  for (int id : {2, 15}) {
    auto* reader = static_cast<readers::FlightSimulatorReader*>(source.reader(id));
    ASSERT_NE(reader, nullptr);
    EXPECT_FALSE(reader->connectionOpen());
    EXPECT_FALSE(reader->detect());
  }
}

TEST_F(Detection, FlightSimulatorConnectionKeptOnlyWithItsProcess) {
  std::string clientName;
  keepOnly(15, std::make_unique<readers::FlightSimulatorReader>(
                   L"FlightSimulator2024.exe", [&](const std::string& name) {
                     clientName = name;
                     return std::make_unique<FakeConnection>();
                   }));
  EXPECT_FALSE(source.detectGame());
  EXPECT_EQ(clientName, "Tiltaverse");
  EXPECT_EQ(FakeConnection::open.load(), 0);  // closed again without the process
  auto game = runProcess("FlightSimulator2024.exe");
  ASSERT_NE(game, nullptr);
  ASSERT_TRUE(source.detectGame());
  EXPECT_EQ(source.getGameID(), 15);
  EXPECT_EQ(FakeConnection::open.load(), 1);
  ASSERT_TRUE(source.attachGame());
  EXPECT_TRUE(source.readSample());
  EXPECT_EQ(source.groundState(), 1);
  EXPECT_TRUE(source.detachGame());
  EXPECT_EQ(FakeConnection::open.load(), 0);
}

}  // namespace
}  // namespace portrelay
