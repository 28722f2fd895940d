// The flight simulator's reader: what each message does, and the whole road
// from the simulated simulator through the client connection and the engine.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstring>
#include <cmath>
#include <fstream>
#include <limits>
#include <thread>

#include "engine/motion_engine.h"
#include "platform/paths.h"
#include "platform/processes.h"
#include "simclient/client.h"
#include "simserver/sim_server.h"
#include "sources/readers/flight_simulator.h"
#include "sources/readers/raceroom.h"
#include "support/game_fixtures.h"

namespace portrelay {
namespace {

using namespace std::chrono_literals;
using readers::flightsim::Step;
using testing::waitUntil;

double degrees(double radians) { return radians * 180.0 / 3.14159265358979; }

// The record's channels for a sample of the flight, by the simulator's body
// axes: speeds across and up count the other way round, the rates about x, y
// and z are pitch, yaw and roll (all three reversed), and the nose-up pitch
// the simulator reports as negative is positive here.
void expectFlight(const SampleRecord& record, const simserver::FlightSample& s) {
  using namespace channel;
  const std::pair<int, double> expected[] = {
      {lateral_accel, s.accel[0]},           {vertica_accel, s.accel[1]},
      {longitu_accel, s.accel[2]},           {lateral_speed, -s.velocity[0]},
      {vertica_speed, -s.velocity[1]},       {longitu_speed, s.velocity[2]},
      {pitch_speed, -degrees(s.rotationVelocity[0])}, {yaw_speed, -degrees(s.rotationVelocity[1])},
      {roll_speed, -degrees(s.rotationVelocity[2])},  {yaw_position, degrees(s.heading)},
      {roll_position, degrees(s.bank)},      {pitch_position, -degrees(s.pitch)},
  };
  for (const auto& [index, value] : expected)
    EXPECT_NEAR(record.data[index], value, 1e-9 + std::fabs(value) * 1e-12) << channelName(index);
}

TEST(FlightSimulatorMessages, EachKindDoesWhatItMeans) {
  const simserver::FlightScript flight;
  const auto onGround = flight.at(16.2);  // airborne, the gear's flag still on the ground
  const auto bounced = flight.at(50.2);   // on the ground, the gear's flag not yet
  ASSERT_EQ(onGround.simOnGround, 0);
  ASSERT_EQ(onGround.gearOnGround, 1);
  ASSERT_EQ(bounced.simOnGround, 1);
  ASSERT_EQ(bounced.gearOnGround, 0);
  auto data = simserver::objectDataMessage(0, bounced);
  auto nan = simserver::objectDataMessage(0, onGround);
  const double notANumber = std::numeric_limits<double>::quiet_NaN();
  std::memcpy(nan.data() + 40 + 8 * 13, &notANumber, 8);
  auto overflowing = simserver::objectDataMessage(0, onGround);
  const double huge = 1e308;  // finite in radians, not in degrees
  std::memcpy(overflowing.data() + 40 + 8 * 9, &huge, 8);
  auto simOnGroundTwo = simserver::objectDataMessage(0, bounced);
  simOnGroundTwo[40 + 8 * 16] = 2;
  const auto truncated = [](std::vector<uint8_t> m, size_t size) {
    m.resize(size);
    m[0] = static_cast<uint8_t>(size);
    return m;
  };

  struct Case {
    const char* name;
    std::vector<uint8_t> message;
    Step step;
    bool written;  // the record and ground state took the sample
    int32_t ground;
  };
  const std::vector<Case> cases = {
      {"data, on the ground whatever the gear says", data, Step::Next, true, 1},
      {"data, airborne whatever the gear says", simserver::objectDataMessage(0, onGround), Step::Next, true, 0},
      {"SIM ON GROUND other than 1 is airborne", simOnGroundTwo, Step::Next, true, 0},
      {"data of another request", simserver::objectDataMessage(1, bounced), Step::Next, false, 7},
      {"data with a value that is not a number", nan, Step::Next, false, 7},
      {"data with a rate beyond the range of degrees", overflowing, Step::Next, false, 7},
      {"data cut before its last value", truncated(data, 175), Step::Next, false, 7},
      {"data cut before its request id", truncated(data, 14), Step::Next, false, 7},
      {"quit", simserver::quitMessage(), Step::Close, false, 7},
      {"the Quit event", simserver::eventMessage(7), Step::Close, false, 7},
      {"an event cut before its id", truncated(simserver::eventMessage(7), 18), Step::Next, false, 7},
      {"another event", simserver::eventMessage(4), Step::Next, false, 7},
      {"an exception", simserver::exceptionMessage(3, 9, 1), Step::StopCycle, false, 7},
      {"the open reply", simserver::openMessage(), Step::Next, false, 7},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SampleRecord record;
    for (double& v : record.data) v = 123.0;
    int32_t ground = 7;
    EXPECT_EQ(readers::flightsim::handleMessage(c.message, record, ground), c.step);
    EXPECT_EQ(ground, c.ground);
    if (c.written) {
      const auto& s = c.message == data || c.message == simOnGroundTwo ? bounced : onGround;
      expectFlight(record, s);
    } else {
      for (double v : record.data) ASSERT_EQ(v, 123.0);
    }
  }
}

// The flight simulator's reader as the registry installs it for id 2, and a
// copy of the record after each of its reads that any thread may look at.
class WatchedReader : public GameReader {
 public:
  WatchedReader() : inner_(L"FlightSimulator.exe", readers::clientConnector()) {}
  bool detect() override { return inner_.detect(); }
  bool attach() override { return inner_.attach(); }
  bool read(SampleRecord& record) override {
    const bool fresh = inner_.read(record);
    setGroundState(inner_.groundState());
    for (int i = 0; i < kGameDataCount; ++i) seen[static_cast<size_t>(i)].store(record.data[i]);
    return fresh;
  }
  void detach() override { inner_.detach(); }
  void onDetectionFailed() override { inner_.onDetectionFailed(); }

  SampleRecord snapshot() const {
    SampleRecord copy;
    for (int i = 0; i < kGameDataCount; ++i) copy.data[i] = seen[static_cast<size_t>(i)].load();
    return copy;
  }
  std::array<std::atomic<double>, kGameDataCount> seen{};

 private:
  readers::FlightSimulatorReader inner_;
};

// The engine with only the flight simulator (id 2); the simulated simulator
// serves TCP, or the pipe where there is one.
class FlightSimulatorThroughTheEngine : public ::testing::TestWithParam<const char*> {
 protected:
  testing::IsolatedGames scope;
  std::unique_ptr<simserver::SimServer> server;
  MotionEngine engine;
  WatchedReader* reader = nullptr;

  void SetUp() override {
    const std::string transport = GetParam();
    simserver::ServerOptions options;
    options.rateHz = 100.0;
    std::string config = "[SimConnect]\n";
    if (transport == "pipe") {
      options.tcp = false;
      options.pipeName = "portrelay-flight-" + scope.objectNamespace();
      config += "Protocol=Pipe\nPort=" + options.pipeName + "\n";
    }
    server = std::make_unique<simserver::SimServer>(options);
    server->hold(5.0);  // on the take-off roll
    if (!server->start()) {
      if (transport == "pipe") GTEST_SKIP() << "no named pipes here";
      FAIL() << "the simulated simulator cannot listen";
    }
    if (transport == "tcp") config += "Protocol=IPv4\nAddress=127.0.0.1\nPort=" + std::to_string(server->tcpPort()) + "\n";
    std::ofstream(scope.documentsFolder() + platform::kPathSeparator + "SimConnect.cfg") << config;
    for (int id = 0; id < kGameCount; ++id) engine.games().installReader(id, nullptr);
    auto watched = std::make_unique<WatchedReader>();
    reader = watched.get();
    engine.games().installReader(2, std::move(watched));
    engine.setTimerPrecision(0);
    engine.setMotionSystemReady(1);
  }
  void TearDown() override {
    engine.stop();
    engine.games().detachGame();
    if (server) server->stop();
    EXPECT_EQ(simclient::openClientCount(), 0);
  }

  bool shows(double seconds) const {
    const auto s = simserver::FlightScript().at(seconds);
    return std::fabs(reader->seen[channel::yaw_position].load() - degrees(s.heading)) < 1e-9 &&
           reader->seen[channel::longitu_speed].load() == s.velocity[2];
  }
  // Holds the flight at `seconds` and waits until the record shows it.
  void flyTo(double seconds) {
    server->hold(seconds);
    ASSERT_TRUE(waitUntil([&] { return shows(seconds); })) << "flight time " << seconds;
  }
};

TEST_P(FlightSimulatorThroughTheEngine, DetectsReadsFollowsTheLandingAndQuits) {
  ASSERT_EQ(engine.start(), 1);
  // Without the simulator's process the connection opens and closes again.
  ASSERT_TRUE(waitUntil([&] { return server->clientsServed() >= 2; }));
  EXPECT_FALSE(engine.isAttached());
  EXPECT_EQ(engine.games().getGameID(), -1);

  auto process = testing::launchGame(scope, "idle", "FlightSimulator.exe");
  ASSERT_NE(process, nullptr);
  ASSERT_TRUE(waitUntil([&] { return engine.isAttached(); }, 20s));
  EXPECT_EQ(engine.games().getGameID(), 2);
  ASSERT_TRUE(waitUntil([&] { return server->setUpComplete(); }));
  EXPECT_EQ(server->violations(), std::vector<std::string>{});
  const int served = server->clientsServed();

  // Take-off roll: GROUND. The turn: AIR, with the cross-fade run through.
  ASSERT_NO_FATAL_FAILURE(flyTo(5.0));
  ASSERT_TRUE(waitUntil([&] { return engine.activeProfile() == 1 && engine.profileWeight(1) == 1.0; }));
  ASSERT_NO_FATAL_FAILURE(flyTo(33.0));
  ASSERT_TRUE(waitUntil([&] { return engine.activeProfile() == 0 && engine.profileWeight(0) == 1.0; }));
  expectFlight(reader->snapshot(), simserver::FlightScript().at(33.0));

  // An exception and other events end a cycle's polling, not the connection.
  ASSERT_TRUE(server->sendException(3));
  ASSERT_TRUE(server->sendEvent(5));
  // Touchdown with the gear bouncing: the simulator's flag decides, and the
  // profiles cross-fade to GROUND.
  server->hold(50.2);
  bool fading = false;
  ASSERT_TRUE(waitUntil([&] {
    const double air = engine.profileWeight(0);
    fading = fading || (air > 0.0 && air < 1.0);
    return shows(50.2) && engine.activeProfile() == 1 && engine.profileWeight(1) == 1.0;
  }));
  EXPECT_TRUE(fading);
  EXPECT_TRUE(engine.isAttached());
  EXPECT_EQ(server->clientsServed(), served);

  // A quit: the reader lets go; the engine searches, finds the simulator again
  // and sets up a fresh connection.
  ASSERT_TRUE(server->sendQuit());
  ASSERT_TRUE(waitUntil([&] { return !engine.isAttached(); }, 10s));
  ASSERT_TRUE(waitUntil([&] { return engine.isAttached() && server->setUpComplete(); }, 20s));
  EXPECT_EQ(server->clientsServed(), served + 1);
  EXPECT_EQ(server->violations(), std::vector<std::string>{});
}

// A flight after a drive: the record starts cleared when the simulator
// attaches, so the channels it does not fill (the rotation accelerations) read
// 0 instead of the racing game's last values.
TEST_P(FlightSimulatorThroughTheEngine, FlightAfterADriveReadsZeroWhereItWritesNothing) {
  engine.games().installReader(4, std::make_unique<readers::RaceRoomReader>());
  auto racing = testing::launchGame(scope, "raceroom", "RRRE64.exe", {"--rate", "500"}, readers::kRaceRoomName);
  ASSERT_NE(racing, nullptr);
  ASSERT_EQ(engine.start(), 1);
  ASSERT_TRUE(waitUntil([&] { return engine.isAttached(); }, 20s));
  ASSERT_EQ(engine.games().getGameID(), 4);
  std::this_thread::sleep_for(500ms);  // the drive fills the record
  racing->stop();
  ASSERT_TRUE(waitUntil([&] { return !engine.isAttached(); }, 10s));
  // Read with the engine thread stopped: what the drive left in the record.
  engine.stop();
  const double* data = engine.games().record().data;
  ASSERT_NE(data[channel::yaw_accel], 0.0);
  ASSERT_NE(data[channel::roll_accel], 0.0);
  ASSERT_EQ(engine.start(), 1);

  auto flight = testing::launchGame(scope, "idle", "FlightSimulator.exe");
  ASSERT_NE(flight, nullptr);
  ASSERT_TRUE(waitUntil([&] { return engine.isAttached(); }, 20s));
  ASSERT_EQ(engine.games().getGameID(), 2);
  ASSERT_NO_FATAL_FAILURE(flyTo(33.0));
  const SampleRecord seen = reader->snapshot();
  for (int index : {channel::yaw_accel, channel::roll_accel, channel::pitch_accel, channel::speed})
    EXPECT_EQ(seen.data[index], 0.0) << channelName(index);
}

INSTANTIATE_TEST_SUITE_P(Transports, FlightSimulatorThroughTheEngine, ::testing::Values("tcp", "pipe"));

}  // namespace
}  // namespace portrelay
