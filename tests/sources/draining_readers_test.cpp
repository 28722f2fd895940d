// The readers that drain their socket, on datagrams sent straight to their
// port: the order of application, the stop at a foreign datagram, the bound.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <string>
#include <thread>
#include <vector>

#include "gamesim/udp_games_sim.h"
#include "platform/sockets.h"
#include "sources/game_source.h"
#include "sources/readers/network_games.h"
#include "support/game_fixtures.h"
#include "support/motion_expectations.h"
#include "sources/telemetry_math.h"

namespace portrelay::readers {
namespace {

using namespace channel;
using namespace std::chrono_literals;

// Sends datagrams to 127.0.0.1 on a reader's port.
class Sender {
 public:
  explicit Sender(uint16_t port) : port_(port) {
    platform::startNetworking(startup_);
    socket_ = platform::openUdpSocket();
  }
  ~Sender() {
    platform::closeSocket(socket_);
    platform::stopNetworking();
  }
  void send(const std::vector<uint8_t>& bytes) {
    ASSERT_EQ(platform::sendTo(socket_, bytes.data(), static_cast<int>(bytes.size()), platform::loopbackAddress(port_)),
              static_cast<int>(bytes.size()));
  }

 private:
  uint16_t port_;
  platform::NetworkStartup startup_;
  platform::SocketHandle socket_;
};

double yawOf(double seconds) { return testing::degreesOf(gamesim::LapMotion().at(seconds).yaw); }

struct Draining : ::testing::Test {
  testing::IsolatedGames scope;
  uint16_t port = testing::freeUdpPort();
  Sender sender{port};
  SampleRecord record;

  template <typename Encoder>
  std::vector<uint8_t> datagramAt(Encoder encode, double seconds) {
    std::vector<uint8_t> bytes;
    encode(gamesim::LapMotion().at(seconds), bytes);
    return bytes;
  }
  static void settle() { std::this_thread::sleep_for(20ms); }
};

TEST_F(Draining, BeamNgStopsAtAForeignDatagram) {
  BeamNgReader reader(port);
  ASSERT_TRUE(reader.attach());
  auto foreign = datagramAt(gamesim::beamng::encode, 2.0);
  foreign[3] = '2';
  sender.send(datagramAt(gamesim::beamng::encode, 1.0));
  sender.send(foreign);
  sender.send(datagramAt(gamesim::beamng::encode, 3.0));
  settle();
  ASSERT_TRUE(reader.read(record));
  EXPECT_NEAR(record.data[yaw_position], yawOf(1.0), 1e-3);  // BNG2 ended the call: 3.0 waits
  ASSERT_TRUE(reader.read(record));
  EXPECT_NEAR(record.data[yaw_position], yawOf(3.0), 1e-3);
  EXPECT_FALSE(reader.read(record));
  reader.detach();
}

TEST_F(Draining, LiveForSpeedTakesABoundedBatchPerCall) {
  LfsReader reader(port);
  ASSERT_TRUE(reader.attach());
  const int total = kMaxDatagramsPerRead + 36;
  for (int i = 1; i <= total; ++i) sender.send(datagramAt(gamesim::lfs::encode, 0.1 * i));
  settle();
  ASSERT_TRUE(reader.read(record));
  EXPECT_NEAR(record.data[yaw_position], yawOf(0.1 * kMaxDatagramsPerRead), 1e-3);
  ASSERT_TRUE(reader.read(record));
  EXPECT_NEAR(record.data[yaw_position], yawOf(0.1 * total), 1e-3);
  EXPECT_FALSE(reader.read(record));
  reader.detach();
}

TEST_F(Draining, LiveForSpeedShortDatagramEndsTheCall) {
  LfsReader reader(port);
  ASSERT_TRUE(reader.attach());
  sender.send(std::vector<uint8_t>(200, 'L'));
  sender.send(datagramAt(gamesim::lfs::encode, 2.0));
  settle();
  EXPECT_FALSE(reader.read(record));
  ASSERT_TRUE(reader.read(record));
  EXPECT_NEAR(record.data[yaw_position], yawOf(2.0), 1e-3);
  reader.detach();
}

TEST_F(Draining, F1AppliesEveryWaitingPacket) {
  F1Reader reader(port);
  ASSERT_TRUE(reader.attach());
  std::vector<uint8_t> motion, extended;
  const auto m = gamesim::LapMotion().at(4.0);
  gamesim::f1::encodeMotion(m, gamesim::f1::kFormat2024, gamesim::f1::kPlayerCar, motion);
  gamesim::f1::encodeExtendedMotion(m, gamesim::f1::kFormat2024, extended);
  sender.send(motion);
  sender.send(std::vector<uint8_t>(300, 0));  // another packet kind
  sender.send(extended);
  settle();
  ASSERT_TRUE(reader.read(record));
  EXPECT_NEAR(record.data[yaw_position], testing::degreesOf(m.yaw), 1e-3);
  // The extended packet too: the yaw rate in the car's axes, close to the heading's on a nearly level car.
  EXPECT_NEAR(record.data[yaw_speed], testing::degreesOf(m.yawRate), 0.01 * std::fabs(testing::degreesOf(m.yawRate)));
  EXPECT_FALSE(reader.read(record));
  reader.detach();
}

// A game sending faster than the engine reads, or an engine cycle that
// stalled: the backlog goes in one call and the newest sample is in the record.
TEST_F(Draining, DcsCatchesUpWithABacklog) {
  DcsReader reader(port);
  ASSERT_TRUE(reader.attach());
  for (double t : {1.0, 2.0, 3.0}) sender.send(datagramAt(gamesim::dcs::encode, t));
  settle();
  ASSERT_TRUE(reader.read(record));
  EXPECT_NEAR(record.data[yaw_position], yawOf(3.0), 1e-3);
  EXPECT_NEAR(record.gameTime, 3.0, 1e-9);
  EXPECT_NEAR(record.gameDelta, 1000.0, 1e-6);  // between the last two the game sent
  EXPECT_FALSE(reader.read(record));
  reader.detach();
}

TEST_F(Draining, Condor2BacklogKeepsKeysOfOlderDatagrams) {
  Condor2Reader reader(port);
  ASSERT_TRUE(reader.attach());
  const std::string padding = "\r\npadding line without an equals sign, skipped\r\n";
  for (const std::string line : {"pitch=0.1", "bank=0.2", "flaps=3"}) {
    const std::string text = line + padding;
    sender.send({text.begin(), text.end()});
  }
  settle();
  ASSERT_TRUE(reader.read(record));
  EXPECT_NEAR(record.data[pitch_position], toDegrees(0.1f), 1e-9);
  EXPECT_NEAR(record.data[roll_position], -toDegrees(0.2f), 1e-9);
  EXPECT_EQ(reader.kept().flaps, 3);
  reader.detach();
}

TEST_F(Draining, WrcRatesFromTheNewestSinceThePreviousCall) {
  WrcReader reader(port);
  ASSERT_TRUE(reader.attach());
  sender.send(datagramAt(gamesim::wrc::encode, 1.0));
  settle();
  ASSERT_TRUE(reader.read(record));
  EXPECT_EQ(record.data[yaw_speed], 0.0);  // the first of an attachment
  const double before = record.data[yaw_position];
  sender.send(datagramAt(gamesim::wrc::encode, 1.01));
  sender.send(datagramAt(gamesim::wrc::encode, 1.02));
  settle();
  ASSERT_TRUE(reader.read(record));
  EXPECT_NEAR(record.data[yaw_position], yawOf(1.02), 1e-3);
  double dt = record.timeFrame / 1000.0;
  if (dt > 0.03) dt = 0.02;
  EXPECT_NEAR(record.data[yaw_speed], (record.data[yaw_position] - before) / dt, 1e-6);
  reader.detach();
  ASSERT_TRUE(reader.attach());  // a new attachment starts without a previous sample
  sender.send(datagramAt(gamesim::wrc::encode, 1.03));
  settle();
  ASSERT_TRUE(reader.read(record));
  EXPECT_EQ(record.data[yaw_speed], 0.0);
  reader.detach();
}

// The registry installs the readers on the games' own ports.
TEST(SupportedNetworkGames, OwnPorts) {
  testing::IsolatedGames scope;
  GameSource source;
  const std::pair<int, uint16_t> ports[] = {{0, 4321},  {1, 4124},  {5, 20778}, {6, 55278},
                                            {7, 20777}, {11, 20788}, {12, 4444}, {13, 4123}};
  for (const auto& [id, port] : ports) {
    const auto* reader = dynamic_cast<const UdpGameReader*>(source.reader(id));
    ASSERT_NE(reader, nullptr) << id;
    EXPECT_EQ(reader->port(), port) << id;
  }
}

}  // namespace
}  // namespace portrelay::readers
