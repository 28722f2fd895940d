// Runs the engine loop for a while on a game that delivers a sample every cycle
// and reports the distribution of the cycle period, in precise and coarse mode.
// With --relay the engine's frames go to the process's rig link, whose relay
// loop runs on a thread of its own against the virtual rig (under Wine, after
// the Windows test run mapped the rig's COM port), as in a host. Each mode also
// reports the process's CPU while it ran, in % of one core: the main thread
// only sleeps, so that is the engine thread's (with --relay, plus the relay's).
//   engine_period [seconds per mode] [--relay]
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "bench_rig_port.h"
#include "engine/motion_engine.h"
#include "riglink/link_state.h"
#include "simulated_rig.h"
#include "tools/platform/process_memory.h"

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
  const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
  const bool withRelay = argc > 2 && std::strcmp(argv[2], "--relay") == 0;
  rigsim::SimulatedRig rig;
  std::thread relay;
  RigLink& link = RigLink::instance();
  if (withRelay) {
    if (bench::startRigOnComPort(rig, "engine_period") == 0) return 1;
    link.setAutoconnect(1);
    relay = std::thread([&link] { link.runRelay(); });
    for (int i = 0; i < 1000 && link.portOpen() == 0; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (link.portOpen() == 0) std::fprintf(stderr, "the virtual rig was not found\n");
  }
  MotionEngine engine;
  for (int id = 0; id < kGameCount; ++id) engine.games().installReader(id, nullptr);
  auto owned = std::make_unique<PacedGame>(engine.cycleTimer());
  PacedGame* game = owned.get();
  engine.games().installReader(3, std::move(owned));
  engine.setMotionSystemReady(1);
  engine.start();
  while (!engine.isAttached()) std::this_thread::sleep_for(std::chrono::milliseconds(5));

  for (int precise : {1, 0}) {
    engine.setTimerPrecision(precise);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const double cpuBefore = platform::processCpuSeconds();
    const auto wallBefore = std::chrono::steady_clock::now();
    game->recording = true;
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    game->recording = false;
    const double cpu = platform::processCpuSeconds() - cpuBefore;
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallBefore).count();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    report(precise ? "precise" : "coarse", game->periods);
    std::printf("%-8s cpu %.1f %% of a core%s\n", precise ? "precise" : "coarse", 100.0 * cpu / wall,
                withRelay ? " (engine and relay)" : " (engine)");
    if (precise) std::printf("precise  sleeps wake %.0f us late (learnt)\n", engine.cycleTimer().sleepMargin().lateUs());
    game->periods.clear();
  }
  engine.stop();
  if (withRelay) {
    std::printf("frames at the rig %zu\n", rig.motionLog().size());
    link.stopRelay();
    relay.join();
  }
  return 0;
}
