// Runs the engine loop for a while on a game that delivers a sample every cycle
// and reports the distribution of the cycle period, in precise and coarse mode.
//   engine_period [seconds per mode]
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "engine/motion_engine.h"

namespace {

using namespace portrelay;

// Samples every cycle's length: read() runs once per cycle, right after the wait.
class PacedGame : public GameReader {
 public:
  explicit PacedGame(const CycleTimer& loop) : loop_(loop) { periods.reserve(20000); }
  std::vector<double> periods;
  std::atomic<bool> recording{false};
  bool detect() override { return true; }
  bool attach() override { return true; }
  void detach() override {}
  bool read(SampleRecord& record) override {
    record.data[1] += 0.001;  // keep the frozen-data watch quiet
    if (recording.load() && periods.size() < periods.capacity()) periods.push_back(loop_.lastIntervalMs() * 1000.0);
    return true;
  }

 private:
  const CycleTimer& loop_;
};

void report(const char* mode, std::vector<double> us) {
  if (us.empty()) return;
  std::sort(us.begin(), us.end());
  double sum = 0;
  for (double v : us) sum += v;
  auto at = [&](double q) { return us[std::min(us.size() - 1, static_cast<size_t>(q * us.size()))]; };
  std::printf("%-8s cycles %6zu  mean %7.1f us  p50 %7.1f  p99 %7.1f  max %7.1f  min %7.1f\n", mode, us.size(),
              sum / us.size(), at(0.50), at(0.99), us.back(), us.front());
}

}  // namespace

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::atoi(argv[1]) : 10;
  MotionEngine engine;
  for (int id = 0; id < kGameCount; ++id) engine.games.installReader(id, nullptr);
  auto owned = std::make_unique<PacedGame>(engine.loopTimer);
  PacedGame* game = owned.get();
  engine.games.installReader(3, std::move(owned));
  engine.setMotionSystemReady(1);
  engine.start();
  while (engine.attached.load() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));

  for (int precise : {1, 0}) {
    engine.loopTimer.setPreciseMode(precise);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    game->recording = true;
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    game->recording = false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    report(precise ? "precise" : "coarse", game->periods);
    game->periods.clear();
  }
  engine.stop();
  return 0;
}
