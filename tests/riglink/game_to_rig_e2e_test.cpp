// From a game to the rig: a simulated Assetto Corsa drives a lap, the engine
// runs at 500 Hz through the exports, the relay finds the virtual rig, and
// the fan controller feeds a virtual fan on a second port.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <set>
#include <string>
#include <thread>

#include "engine/output_frame.h"
#include "fan_fixture.h"
#include "gamesim/assetto_corsa_sim.h"
#include "gamesim/simulation_runner.h"
#include "portrelay/portrelay.h"
#include "riglink/link_fixture.h"
#include "riglink/link_state.h"
#include "support/game_fixtures.h"

namespace portrelay {
namespace {

using namespace std::chrono_literals;
using testing::FanOnComPort;
using testing::RigOnComPort;
using testing::waitUntil;
using Frame = std::array<uint8_t, 36>;

constexpr int kFrameBody = 34;  // everything but the end pair (CRC at the rig)
constexpr unsigned kFanIntervalMs = 15;

int fanByteOf(double percent) { return static_cast<int>(std::clamp(percent, 0.0, 100.0) / 100.0 * 255.0); }

// A sensible profile on the AIR profile (the one a car game selects).
void installProfile() {
  const char* chains[6] = {"EMALP(GAIN(VALUE;0.5);8)", "EMALP(GAIN(VALUE;0.5);8)", "EMAHP(GAIN(VALUE;0.5);200)",
                           "EMAHP(GAIN(VALUE;0.01);50)", "GAIN(VALUE;0.02)", "GAIN(VALUE;0.02)"};
  for (int slot = 0; slot < 6; ++slot) {
    ASSERT_TRUE(setcheckFilterstring(0, slot, chains[slot]));
    setActiveAxis(0, slot, 1);
    SetRigDofLimitValue(slot, -0.8, 0.8);
  }
  for (int slot = 0; slot < 3; ++slot) SetInputDofLimitValue(slot, -3.0, 3.0);
  for (int slot = 3; slot < 6; ++slot) SetInputDofLimitValue(slot, -200.0, 200.0);
  // Belt from surge and heave; fan from a slow sine around half speed.
  for (int slot : {6, 7, 8, 9}) setActiveAxis(0, slot, 0);
  for (int slot : {10, 11, 12}) setActiveAxis(0, slot, 1);
  setBelt_Mix(0, 1, 100.0);
  setBelt_Mix(0, 2, 50.0);
  ASSERT_TRUE(setcheckFilterstring(0, 21, "ADD(SINUS(VALUE;40;1);50)"));
  setActiveAxis(0, 21, 1);
}

class RelayThread {
 public:
  RelayThread() : thread_([] { startPortRelay_Thread(); }) {}
  ~RelayThread() {
    stopPortRelay_Thread();
    thread_.join();
  }

 private:
  std::thread thread_;
};

// Stops the process-wide engine's thread at scope end (a second stop does nothing).
struct EngineStop {
  ~EngineStop() { stopGamesource_Thread(); }
};

// One recorded run: two seconds of a lap from game to rig, watched from the
// host side as a host would; the cases below check it.
struct RecordedRun {
  std::string failure;  // empty when the run was recorded
  std::vector<rigsim::ReceivedFrame> motion;
  rigsim::RigStats stats;
  int64_t begin = 0, end = 0, rigOffset = 0;
  std::vector<Frame> seen;  // getOutputData every 7 ms
  Frame last{};             // getOutputData after the engine stopped
  double belt = 0, fan = 0;  // outputs 10 and 21 then
  std::vector<rigsim::FanByte> fanBytes;
};

class GameToRig : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    run_ = new RecordedRun;
    record(*run_);
  }
  static void TearDownTestSuite() {
    delete run_;
    run_ = nullptr;
  }
  void SetUp() override { ASSERT_TRUE(run_->failure.empty()) << run_->failure; }
  static const RecordedRun& run() { return *run_; }

 private:
  static void record(RecordedRun& out);
  static RecordedRun* run_;
};

RecordedRun* GameToRig::run_ = nullptr;

void GameToRig::record(RecordedRun& out) {
  auto fail = [&](const std::string& why) { out.failure = why; };
  testing::IsolatedGames scope;
  RigOnComPort rig;
  if (!rig.started()) return fail("virtual rig did not start");
  FanOnComPort fanSink;
  if (!fanSink.started()) return fail("virtual fan did not start");
  const platform::ScopedPlatform ports(platform::FakePlatform().withComPorts(
      {testing::usbComPort(RigOnComPort::kComNumber, rig.linkPath()), fanSink.comPort()}));

  gamesim::AssettoCorsaSim game;
  if (!game.start()) return fail("game did not start");
  gamesim::SimulationRunner lap(game, 500.0);
  lap.start();

  installProfile();
  const std::string fanName = FanOnComPort::name();
  const std::wstring fanPort(fanName.begin(), fanName.end());
  if (initWindSerial(fanPort.c_str(), 115200, L"8N1", kFanIntervalMs) != 1) return fail("initWindSerial failed");
  setMotionsystemready(1);
  if (startGamesource_Thread() == 0) return fail("engine thread did not start");
  EngineStop engineStop;  // also on an early return, before the services above go
  enableAutoconnect();
  RelayThread relay;
  RigLink& link = RigLink::instance();
  if (!waitUntil([] { return getGameID() == 3; }, std::chrono::milliseconds(10000))) return fail("game not detected");
  if (!waitUntil([&] { return link.mode().transport() == LinkTransport::serial; }, std::chrono::milliseconds(10000)))
    return fail("link not validated: port open " + std::to_string(link.portOpen()) + ", identity queries " +
                std::to_string(rig.rig.stats().identityQueries) + ", level queries " +
                std::to_string(rig.rig.stats().levelQueries));
  if (!waitUntil([&] { return rig.rig.stats().checksummedMotionFrames > 100; }, std::chrono::milliseconds(5000))) return fail("no motion");

  rig.rig.reset();
  fanSink.fan.reset();
  out.rigOffset = rig.rig.clockOffsetNs();
  out.begin = rigsim::monotonicNs();
  while (rigsim::monotonicNs() - out.begin < 2'000'000'000) {
    Frame frame;
    getOutputData(frame.data());
    out.seen.push_back(frame);
    std::this_thread::sleep_for(7ms);
  }
  out.end = rigsim::monotonicNs();
  if (stopGamesource_Thread() != 0) return fail("engine thread was not running");
  std::this_thread::sleep_for(200ms);  // the relay empties its queue
  lap.stop();

  out.motion = rig.rig.motionLog();
  out.stats = rig.rig.stats();
  getOutputData(out.last.data());
  double* outputs = nullptr;
  int32_t count = 0;
  getMotionCueData(2, &outputs, &count);
  if (count != 23) return fail("getMotionCueData gave " + std::to_string(count) + " outputs");
  out.belt = outputs[10];
  out.fan = outputs[21];
  out.fanBytes = fanSink.fan.bytes();
}

// About 500 checksummed frames a second, none broken.
TEST_F(GameToRig, MotionFramesArriveAtTheirPace) {
  EXPECT_EQ(run().stats.checksumErrors, 0u);
  EXPECT_EQ(run().stats.checksummedMotionFrames, run().stats.motionFrames);
  size_t inWindow = 0;
  for (const auto& f : run().motion)
    if (f.arrivalNs - run().rigOffset >= run().begin && f.arrivalNs - run().rigOffset < run().end) ++inWindow;
  const double perSecond = static_cast<double>(inWindow) * 1e9 / static_cast<double>(run().end - run().begin);
  EXPECT_GT(perSecond, 400.0);
  EXPECT_LT(perSecond, 560.0);
}

// Every frame the engine published reached the rig byte for byte; the axes
// move and stay inside the rig limits.
TEST_F(GameToRig, PublishedFramesReachTheRigInsideTheLimits) {
  std::set<std::vector<uint8_t>> arrived;
  for (const auto& f : run().motion) {
    ASSERT_EQ(f.bytes.size(), 36u);
    ASSERT_TRUE(f.checksummed);
    arrived.insert(std::vector<uint8_t>(f.bytes.begin(), f.bytes.begin() + kFrameBody));
    for (const float v : decodeMotionFrame(f.bytes.data()).axes) {
      ASSERT_TRUE(std::isfinite(v));
      ASSERT_LE(std::fabs(v), 0.8f + 1e-6f);
    }
  }
  size_t found = 0;
  std::set<std::vector<uint8_t>> distinct;
  for (const Frame& frame : run().seen) {
    const std::vector<uint8_t> body(frame.begin(), frame.begin() + kFrameBody);
    distinct.insert(body);
    if (arrived.count(body) != 0) ++found;
  }
  EXPECT_GE(found * 100, run().seen.size() * 95) << found << " of " << run().seen.size();
  EXPECT_GT(distinct.size(), run().seen.size() / 2);
}

// The last frame is the engine's last output, with belt and fan values.
TEST_F(GameToRig, LastFrameCarriesBeltAndFan) {
  ASSERT_FALSE(run().motion.empty());
  const Frame& last = run().last;
  EXPECT_TRUE(std::equal(last.begin(), last.begin() + kFrameBody, run().motion.back().bytes.begin()));
  EXPECT_EQ(decodeMotionFrame(last.data()).belt, static_cast<uint32_t>(std::max(0.0, run().belt)));
  EXPECT_EQ(decodeMotionFrame(last.data()).fan, static_cast<uint32_t>(std::max(0.0, run().fan)));
}

// The fan: one speed byte per step of 15 ms, values the frames' fan values
// allow, and the 0x00 of the stop last.
TEST_F(GameToRig, FanBytesFollowTheirIntervalAndTheFrames) {
  const std::vector<rigsim::FanByte>& fan = run().fanBytes;
  ASSERT_GT(fan.size(), 2u);
  EXPECT_EQ(fan.back().value, 0);
  const double fanPerSecond =
      static_cast<double>(fan.size() - 1) * 1e9 / static_cast<double>(run().end - run().begin);
  EXPECT_GT(fanPerSecond, 1000.0 / kFanIntervalMs * 0.6);
  EXPECT_LT(fanPerSecond, 1000.0 / kFanIntervalMs * 1.1);
  int lowest = 255, highest = 0;
  for (const auto& f : run().motion) {
    const uint32_t percent = decodeMotionFrame(f.bytes.data()).fan;  // whole part of output 21
    lowest = std::min(lowest, fanByteOf(percent));
    highest = std::max(highest, fanByteOf(percent + 1.0));
  }
  std::set<int> speeds;
  for (size_t i = 0; i + 1 < fan.size(); ++i) {
    EXPECT_GE(fan[i].value, lowest) << i;
    EXPECT_LE(fan[i].value, highest) << i;
    speeds.insert(fan[i].value);
  }
  EXPECT_GT(speeds.size(), 10u);  // the sine moves it
}

}  // namespace
}  // namespace portrelay
