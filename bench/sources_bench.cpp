// Game detection and the shared-memory readers: one full detection pass with
// nothing running, and the cost of one readSample per game.
#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "gamesim/game_catalog.h"
#include "gamesim/lap_motion.h"
#include "tools/platform/child_process.h"
#include "platform/paths.h"
#include "platform/processes.h"
#include "platform/shared_memory.h"
#include "sources/game_source.h"
#include "tools/platform/fake_platform.h"

namespace {

namespace platform = portrelay::platform;
using portrelay::GameSource;

// Private names and processes, and a log folder of the benchmark's own.
struct Isolation {
  Isolation() {
    const auto folder = std::filesystem::temp_directory_path() / "portrelay-bench-documents";
    std::filesystem::create_directories(folder);
    platform::keepInForce(platform::FakePlatform()
                              .withDocumentsFolder(folder.string())
                              .withObjectNamespace("bench" + std::to_string(platform::currentProcessId()) + "_")
                              .withProcessScope(platform::currentProcessId()));
  }
};

void isolate() { static Isolation once; }

void BM_DetectGameNothingRunning(benchmark::State& state) {
  isolate();
  // The machine's whole process list, as in use.
  const platform::ScopedPlatform everyProcess(platform::FakePlatform().withEveryProcess());
  GameSource source;  // the real registry: probes, process tests, handshake, pauses
  for (auto _ : state) benchmark::DoNotOptimize(source.detectGame());
}
BENCHMARK(BM_DetectGameNothingRunning)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

struct GameUnderTest {
  std::unique_ptr<gamesim::GameSim> game;
  std::unique_ptr<platform::ChildProcess> process;
  GameSource source;
  bool ready = false;

  explicit GameUnderTest(const gamesim::GameEntry& entry) {
    for (int id = 0; id < portrelay::kGameCount; ++id)
      if (id != entry.gameId) source.installReader(id, nullptr);
    source.setDetectionPauseMs(0);
    game = entry.make({});
    if (!game->start()) return;
    if (!entry.executable.empty()) {
      const std::string exe(entry.executable);
      process = platform::ChildProcess::launch(
          platform::executableDirectory() + platform::kPathSeparator + "gamesim" + platform::kExecutableSuffix, exe,
          {"idle", "--seconds", "300"});
      const std::wstring wide(exe.begin(), exe.end());
      for (int i = 0; i < 2000 && !platform::isProcessRunning(wide); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    // Detection wants a page that keeps moving over three tests.
    bool found = false;
    for (int pass = 0; pass < 4 && !found; ++pass) {
      game->write(gamesim::LapMotion().at(0.5 + 0.002 * pass));
      found = source.detectGame();
    }
    ready = found && source.attachGame();
  }
};

// One sample written by the game, then one readSample: subtract BM_GameWrite
// for the reader's share.
void BM_ReadSample(benchmark::State& state, const gamesim::GameEntry* entry) {
  isolate();
  GameUnderTest test(*entry);
  if (!test.ready) {
    state.SkipWithError("game not attached");
    return;
  }
  const gamesim::LapMotion lap;
  double t = 1.0;
  int64_t fresh = 0;
  for (auto _ : state) {
    test.game->write(lap.at(t));
    t += 0.002;
    fresh += test.source.readSample() ? 1 : 0;
  }
  state.counters["new"] = benchmark::Counter(static_cast<double>(fresh) / static_cast<double>(state.iterations()));
}

void BM_GameWrite(benchmark::State& state, const gamesim::GameEntry* entry) {
  isolate();
  auto game = entry->make({});
  if (!game->start()) {
    state.SkipWithError("game not started");
    return;
  }
  const gamesim::LapMotion lap;
  double t = 1.0;
  for (auto _ : state) {
    game->write(lap.at(t));
    t += 0.002;
  }
}

const int registered = [] {
  for (const auto& entry : gamesim::gameCatalog()) {
    if (entry.gameId < 0 || entry.key == "nolimits2") continue;  // shared-memory games only
    const std::string key(entry.key);
    benchmark::RegisterBenchmark(("BM_ReadSample/" + key).c_str(), BM_ReadSample, &entry);
    benchmark::RegisterBenchmark(("BM_GameWrite/" + key).c_str(), BM_GameWrite, &entry);
  }
  return 0;
}();

}  // namespace

BENCHMARK_MAIN();
