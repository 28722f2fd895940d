// The whole output path as the rig sees it: no frame moves further from the
// one before than the output rate limit, whatever happens upstream, and a park
// brings every channel to neutral and holds it there.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/motion_engine.h"
#include "riglink/link_state.h"
#include "support/test_game.h"
#include "support/wait.h"

namespace portrelay {
namespace {

using namespace std::chrono_literals;
using testing::TestGame;
using testing::waitUntil;

constexpr int kTestGameId = 3;
constexpr double kAxisStep = OutputRateLimiter::kDefaultAxisUnitsPerSecond * OutputRateLimiter::kFramePeriodSeconds;
constexpr double kSlack = 1e-6;  // the frame's floats round the step

TEST(OutputRateLimiter, EachChannelMovesAtMostItsStepPerFrame) {
  OutputRateLimiter limiter;
  EXPECT_TRUE(limiter.setLimit(1, 10.0));          // 0.02 per frame
  EXPECT_TRUE(limiter.setLimit(2, 0.0));           // free
  EXPECT_TRUE(limiter.setLimit(kBeltChannel, 500.0));  // 1 per frame
  EXPECT_FALSE(limiter.setLimit(7, 1.0));
  EXPECT_FALSE(limiter.setLimit(0, -1.0));
  EXPECT_FALSE(limiter.setLimit(0, NAN));
  EXPECT_FALSE(limiter.setLimit(0, INFINITY));
  EXPECT_EQ(limiter.limit(0), OutputRateLimiter::kDefaultAxisUnitsPerSecond);

  std::array<double, kRateLimitedChannels> values{1.0, 1.0, 1.0, -0.005, NAN, 0.0, 3.0};
  limiter.apply(values);
  const std::array<double, kRateLimitedChannels> first{kAxisStep, 0.02, 1.0, -0.005, 0.0, 0.0, 1.0};
  for (size_t i = 0; i < values.size(); ++i) EXPECT_DOUBLE_EQ(values[i], first[i]) << i;
  values = {1.0, -1.0, -1.0, -0.005, 0.5, 0.0, 3.0};
  limiter.apply(values);
  const std::array<double, kRateLimitedChannels> second{2 * kAxisStep, 0.0, -1.0, -0.005, kAxisStep, 0.0, 2.0};
  for (size_t i = 0; i < values.size(); ++i) EXPECT_DOUBLE_EQ(values[i], second[i]) << i;
  EXPECT_EQ(limiter.lastSent(), values);
}

TEST(ParkController, RampsFromTheLastFrameToNeutralInTheRequestedTime) {
  ParkController park;
  ParkValues values{}, last{};
  last = {0.8, -0.4, 0.2, 0.0, 0.1, -0.1, 300.0, 60.0};
  EXPECT_FALSE(park.shape(values = last, last, 2.0));  // nothing asked: untouched
  EXPECT_EQ(values, last);

  park.request(100);  // clamped to 500 ms
  EXPECT_EQ(park.status(), ParkController::kMoving);
  EXPECT_TRUE(park.wanted());
  park.shape(values, last, 250.0);  // halfway
  EXPECT_DOUBLE_EQ(values[0], 0.4);
  EXPECT_DOUBLE_EQ(values[kFanChannel], 30.0);
  park.frameSent(values);
  EXPECT_EQ(park.status(), ParkController::kMoving);
  park.shape(values = last, values, 300.0);  // past the end: neutral, whatever the live values
  for (double v : values) EXPECT_EQ(v, 0.0);
  park.frameSent(values);
  EXPECT_EQ(park.status(), ParkController::kParked);

  park.request(0);
  EXPECT_FALSE(park.wanted());
  EXPECT_TRUE(park.shape(values = last, values, 2.0));  // released: live values pass again
  EXPECT_EQ(values, last);
  EXPECT_EQ(park.status(), ParkController::kNotParked);
}

// A private engine on a private link, with the test game moving sway, surge
// and heave through "VALUE" chains; every frame the engine queues is kept.
struct OutputPath : ::testing::Test {
  RigLink link;
  MotionEngine engine{link};
  TestGame* game = nullptr;
  std::atomic<double> amplitude{0.8};  // of the game's slow sine
  std::atomic<double> offset{0.0};     // added to it: a jump in the data
  std::atomic<int> stallAtRead{-1};    // the read that stalls the engine 300 ms
  std::mutex framesMutex;
  std::vector<MotionFrameValues> frames;
  std::atomic<bool> draining{true};
  std::thread drainer;

  OutputPath() {
    for (int id = 0; id < kGameCount; ++id) engine.games().installReader(id, nullptr);
    auto owned = std::make_unique<TestGame>();
    game = owned.get();
    engine.games().installReader(kTestGameId, std::move(owned));
    engine.games().setDetectionPauseMs(0);
    game->onRead = [this](SampleRecord& record, int n) {
      if (n == stallAtRead.load()) std::this_thread::sleep_for(300ms);
      const double t = std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
      const double value = amplitude.load() * std::sin(3.14159265358979 * t) + offset.load();  // 0.5 Hz
      for (int index : {channel::lateral_accel_g, channel::longitu_accel_g, channel::vertica_accel_g})
        record.data[index] = value;
      return true;
    };
    for (int axis = 0; axis < kRigAxisCount; ++axis) {
      engine.setActiveAxis(0, axis, axis < 3 ? 1 : 0);
      engine.setRigLimit(axis, -1.0, 1.0);
      engine.setInputLimit(axis, -30.0, 30.0);
    }
    link.setRelayRunning(1);
    drainer = std::thread([this] {
      uint8_t bytes[kMaxMessageLength];
      while (draining.load()) {
        while (link.serialTxQueue().takeFront(bytes)) {
          std::lock_guard lock(framesMutex);
          frames.push_back(decodeMotionFrame(bytes));
        }
        link.networkTxQueue().removeIf([](const uint8_t*, size_t) { return true; });
        std::this_thread::sleep_for(500us);
      }
    });
  }
  ~OutputPath() override {
    engine.stop();
    draining.store(false);
    drainer.join();
  }

  // Starts running motion with the fade already complete, so that nothing
  // but the rate limit stands between a jump and the rig.
  void startMoving() {
    engine.setMotionSystemReady(1);
    engine.start();
    ASSERT_TRUE(waitUntil([&] { return game->reads.load() > 5; }));
    engine.setFadeProgress(1.0);
  }
  size_t frameCount() {
    std::lock_guard lock(framesMutex);
    return frames.size();
  }
  void runFrames(size_t count) {
    const size_t until = frameCount() + count;
    ASSERT_TRUE(waitUntil([&] { return frameCount() >= until; }));
  }
  double largestStep() {
    std::lock_guard lock(framesMutex);
    double largest = 0.0;
    for (size_t f = 1; f < frames.size(); ++f)
      for (int axis = 0; axis < kRigAxisCount; ++axis)
        largest = std::max(largest, std::abs(double{frames[f].axes[axis]} - frames[f - 1].axes[axis]));
    return largest;
  }
};

TEST_F(OutputPath, NoStepAboveTheRateLimitThroughStallJumpLimitChangeAndResume) {
  startMoving();
  runFrames(200);
  stallAtRead.store(game->reads.load() + 10);  // a 300-ms hitch of the engine thread
  runFrames(200);
  offset.store(0.6);  // a jump in the game's data
  runFrames(100);
  engine.setRigLimit(0, -0.1, 0.1);  // a narrower limit on a moving rig
  runFrames(100);
  engine.setRigLimit(0, -1.0, 1.0);
  amplitude.store(0.0);
  offset.store(-0.9);  // held far away while output is suspended ...
  EXPECT_FALSE(engine.installFilterString(0, 1, "GAIN( VALUE;2)"));
  std::this_thread::sleep_for(300ms);
  offset.store(0.9);  // ... and resumed somewhere else
  EXPECT_TRUE(engine.installFilterString(0, 1, "VALUE"));
  runFrames(300);
  engine.stop();

  EXPECT_LE(largestStep(), kAxisStep + kSlack);
}

TEST_F(OutputPath, ParkRampsEveryAxisToNeutralHoldsItAndReleaseFadesIn) {
  offset.store(0.5);
  startMoving();
  runFrames(300);
  const size_t parkedFrom = frameCount() + 3;  // frames still on their way when the park is asked
  const auto asked = std::chrono::steady_clock::now();
  engine.requestPark(600);
  EXPECT_EQ(engine.parkStatus(), ParkController::kMoving);
  ASSERT_TRUE(waitUntil([&] { return engine.parkStatus() == ParkController::kParked; }));
  const double parkMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - asked).count();
  runFrames(100);  // held while the game goes on
  {
    std::lock_guard lock(framesMutex);
    for (size_t f = parkedFrom + 1; f < frames.size(); ++f)
      for (int axis = 0; axis < kRigAxisCount; ++axis)
        EXPECT_LE(std::abs(frames[f].axes[axis]), std::abs(frames[f - 1].axes[axis])) << f << " axis " << axis;
    for (int axis = 0; axis < kRigAxisCount; ++axis) EXPECT_EQ(frames.back().axes[axis], 0.0f);
    EXPECT_EQ(frames.back().belt, 0u);
    EXPECT_EQ(frames.back().fan, 0u);
  }
  EXPECT_LT(parkMs, 600.0 + 300.0);  // the ramp's time, and slack for a loaded machine

  engine.requestPark(0);
  ASSERT_TRUE(waitUntil([&] { return engine.parkStatus() == ParkController::kNotParked; }));
  runFrames(250);  // half a second into the 4000-ms fade
  engine.stop();
  EXPECT_GT(engine.transitionStatus(), 5.0);
  EXPECT_LT(engine.transitionStatus(), 50.0);
  EXPECT_LE(largestStep(), kAxisStep + kSlack);
  std::lock_guard lock(framesMutex);
  float largestLate = 0.0f;  // the fade brings the live motion back gradually
  for (size_t f = frames.size() - 50; f < frames.size(); ++f) largestLate = std::max(largestLate, std::abs(frames[f].axes[0]));
  EXPECT_GT(largestLate, 0.001f);
  EXPECT_LT(largestLate, 0.5f);
}

TEST_F(OutputPath, ParkKeepsFramesFlowingWhileNoGameIsAttached) {
  game->running.store(false);
  engine.games().setDetectionPauseMs(10);  // a full detection pass between attempts
  engine.setMotionSystemReady(1);
  engine.start();
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(frameCount(), 0u);  // searching sends nothing of its own
  engine.requestPark(500);
  ASSERT_TRUE(waitUntil([&] { return engine.parkStatus() == ParkController::kParked; }));
  const size_t before = frameCount();
  std::this_thread::sleep_for(400ms);
  // A frame every few ms, also through the pauses of the detection pass
  // (under Wine sleeps come in whole milliseconds: fewer, but still flowing).
  EXPECT_GT(frameCount() - before, 50u);
}

}  // namespace
}  // namespace portrelay
