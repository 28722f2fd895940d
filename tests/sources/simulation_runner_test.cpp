// A simulated game's lap ends at its length even when the writing thread
// stalls, as every thread of a process does on a loaded machine: a late thread
// must not write a sample from after the end, which a reader would take as the
// game's last.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "gamesim/game_sim.h"
#include "gamesim/simulation_runner.h"
#include "support/wait.h"

namespace portrelay {
namespace {

using namespace std::chrono_literals;

// Keeps the lap times written; the sample at or after `stallAt` takes `stall`.
class StallingGame : public gamesim::GameSim {
 public:
  StallingGame(double stallAt, std::chrono::milliseconds stall) : stallAt_(stallAt), stall_(stall) {}
  bool start() override { return true; }
  void stop() override {}
  void write(const gamesim::MotionSample& sample) override {
    if (sample.time >= stallAt_ && !stalled_) {
      stalled_ = true;
      std::this_thread::sleep_for(stall_);
    }
    times.push_back(sample.time);
  }
  std::vector<double> times;  // the runner's thread only, until it has finished

 private:
  double stallAt_;
  std::chrono::milliseconds stall_;
  bool stalled_ = false;
};

TEST(SimulationRunner, AThreadStalledPastTheEndWritesNoMore) {
  constexpr double kLapSeconds = 0.3;
  StallingGame game(0.1, 500ms);  // the sample of 0.1 s returns after the lap's end
  gamesim::SimulationRunner runner(game, 500.0, kLapSeconds);
  runner.start();
  ASSERT_TRUE(testing::waitUntil([&] { return runner.finished(); }, 10s));
  runner.stop();
  ASSERT_FALSE(game.times.empty());
  EXPECT_GE(game.times.back(), 0.1);  // the stalled sample was the last
  EXPECT_LE(game.times.back(), kLapSeconds);
  EXPECT_EQ(runner.samplesWritten(), game.times.size());
}

}  // namespace
}  // namespace portrelay
