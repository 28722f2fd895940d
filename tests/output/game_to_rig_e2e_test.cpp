// From a game to the rig: a simulated Assetto Corsa drives a lap, the engine
// runs at 500 Hz through the exports, the relay finds the virtual rig, and
// the fan controller feeds a virtual fan on a second port.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <set>
#include <thread>

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
using testing::waitFor;
using Frame = std::array<uint8_t, 36>;

constexpr int kFrameBody = 34;  // everything but the end pair (CRC at the rig)
constexpr unsigned kFanIntervalMs = 15;

float axisOf(const uint8_t* frame, int axis) {
  float value;
  std::memcpy(&value, frame + 2 + 4 * axis, sizeof value);  // little-endian, as on x86-64
  return value;
}

uint32_t bigEndianAt(const uint8_t* frame, int offset) {
  return (uint32_t{frame[offset]} << 24) | (uint32_t{frame[offset + 1]} << 16) | (uint32_t{frame[offset + 2]} << 8) |
         frame[offset + 3];
}

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

TEST(GameToRig, MotionFramesAndFanBytesArriveAtTheirPace) {
  testing::IsolatedGames scope;
  testing::resetLink();
  RigOnComPort rig;
  ASSERT_TRUE(rig.started());
  FanOnComPort fanSink;
  ASSERT_TRUE(fanSink.started());
  platform::overrideComPorts(std::vector<platform::SimulatedComPort>{
      testing::usbComPort(RigOnComPort::kComNumber, rig.linkPath()), fanSink.comPort()});

  gamesim::AssettoCorsaSim game;
  ASSERT_TRUE(game.start());
  gamesim::SimulationRunner lap(game, 500.0);
  lap.start();

  installProfile();
  const std::string fanName = FanOnComPort::name();
  const std::wstring fanPort(fanName.begin(), fanName.end());
  ASSERT_EQ(initWindSerial(fanPort.c_str(), 115200, L"8N1", kFanIntervalMs), 1);
  setMotionsystemready(1);
  ASSERT_NE(startGamesource_Thread(), 0);
  enableAutoconnect();
  RelayThread relay;
  ASSERT_TRUE(waitFor([] { return getGameID() == 3; }, 10000));
  ASSERT_TRUE(waitFor([] { return rigLink().serialFramesValid.load() != 0; }, 10000))
      << "port open " << int(rigLink().portOpen.load()) << ", identity queries " << rig.rig.stats().identityQueries
      << ", level queries " << rig.rig.stats().levelQueries << ", motion frames " << rig.rig.stats().motionFrames;
  ASSERT_TRUE(waitFor([&] { return rig.rig.stats().checksummedMotionFrames > 100; }, 5000));

  // Two seconds of motion, watched from the host side as a host would.
  rig.rig.reset();
  fanSink.fan.reset();
  const int64_t rigOffset = rig.rig.clockOffsetNs();
  const int64_t begin = rigsim::monotonicNs();
  std::vector<Frame> seen;
  while (rigsim::monotonicNs() - begin < 2'000'000'000) {
    Frame frame;
    getOutputData(frame.data());
    seen.push_back(frame);
    std::this_thread::sleep_for(7ms);
  }
  const int64_t end = rigsim::monotonicNs();
  ASSERT_TRUE(stopGamesource_Thread() == 0);  // it was running
  std::this_thread::sleep_for(200ms);          // the relay empties its queue
  lap.stop();

  // About 500 checksummed frames a second, none broken.
  const std::vector<rigsim::ReceivedFrame> log = rig.rig.motionLog();
  const rigsim::RigStats stats = rig.rig.stats();
  EXPECT_EQ(stats.checksumErrors, 0u);
  EXPECT_EQ(stats.checksummedMotionFrames, stats.motionFrames);
  size_t inWindow = 0;
  for (const auto& f : log)
    if (f.arrivalNs - rigOffset >= begin && f.arrivalNs - rigOffset < end) ++inWindow;
  const double perSecond = static_cast<double>(inWindow) * 1e9 / static_cast<double>(end - begin);
  EXPECT_GT(perSecond, 400.0);
  EXPECT_LT(perSecond, 560.0);

  // Every frame the engine published reached the rig byte for byte; the axes
  // move and stay inside the rig limits.
  std::set<std::vector<uint8_t>> arrived;
  for (const auto& f : log) {
    ASSERT_EQ(f.bytes.size(), 36u);
    ASSERT_TRUE(f.checksummed);
    arrived.insert(std::vector<uint8_t>(f.bytes.begin(), f.bytes.begin() + kFrameBody));
    for (int axis = 0; axis < 6; ++axis) {
      const float v = axisOf(f.bytes.data(), axis);
      ASSERT_TRUE(std::isfinite(v));
      ASSERT_LE(std::fabs(v), 0.8f + 1e-6f);
    }
  }
  size_t found = 0;
  std::set<std::vector<uint8_t>> distinct;
  for (const Frame& frame : seen) {
    const std::vector<uint8_t> body(frame.begin(), frame.begin() + kFrameBody);
    distinct.insert(body);
    if (arrived.count(body) != 0) ++found;
  }
  EXPECT_GE(found * 100, seen.size() * 95) << found << " of " << seen.size();
  EXPECT_GT(distinct.size(), seen.size() / 2);
  Frame last;
  getOutputData(last.data());
  ASSERT_FALSE(log.empty());
  EXPECT_TRUE(std::equal(last.begin(), last.begin() + kFrameBody, log.back().bytes.begin()));
  double* outputs = nullptr;
  int32_t count = 0;
  getMotionCueData(2, &outputs, &count);
  ASSERT_EQ(count, 23);
  EXPECT_EQ(bigEndianAt(last.data(), 26), static_cast<uint32_t>(std::max(0.0, outputs[10])));
  EXPECT_EQ(bigEndianAt(last.data(), 30), static_cast<uint32_t>(std::max(0.0, outputs[21])));

  // The fan: one speed byte per step of 15 ms, values the frames' fan values
  // allow, and the 0x00 of the stop last.
  const std::vector<rigsim::FanByte> fan = fanSink.fan.bytes();
  ASSERT_GT(fan.size(), 2u);
  EXPECT_EQ(fan.back().value, 0);
  const double fanPerSecond = static_cast<double>(fan.size() - 1) * 1e9 / static_cast<double>(end - begin);
  EXPECT_GT(fanPerSecond, 1000.0 / kFanIntervalMs * 0.6);
  EXPECT_LT(fanPerSecond, 1000.0 / kFanIntervalMs * 1.1);
  int lowest = 255, highest = 0;
  for (const auto& f : log) {
    const uint32_t percent = bigEndianAt(f.bytes.data(), 30);  // whole part of output 21
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
