// The snapshot histories: what recordSnapshots adds to every engine cycle (two
// records into full histories, the usual state while the host drains seldom),
// and one host drain of 150 records with its release.
#include <benchmark/benchmark.h>

#include "engine/motion_engine.h"

namespace {

using namespace portrelay;

// New values each cycle, cheap enough not to count beside the records.
void fill(MotionEngine& engine, int64_t n) {
  double* data = engine.games().record().data;
  for (int i = 1; i < kGameDataCount; ++i) data[i] = static_cast<double>(n + i);
  for (int i = 0; i < kCueSlotCount; ++i) engine.cues(MotionEngine::kOutputCues)[i] = data[i + 1];
}

void BM_RecordSnapshots(benchmark::State& state) {
  MotionEngine engine;
  int64_t n = 0;
  for (int i = 0; i < kSnapshotHistoryLength; ++i) engine.recordSnapshots();  // full from the start
  for (auto _ : state) {
    fill(engine, ++n);
    engine.recordSnapshots();
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_RecordSnapshots);

void BM_DrainOneHundredFifty(benchmark::State& state) {
  MotionEngine engine;
  int64_t n = 0;
  for (auto _ : state) {
    state.PauseTiming();
    for (int i = 0; i < kSnapshotHistoryLength; ++i) {
      fill(engine, ++n);
      engine.recordSnapshots();
    }
    state.ResumeTiming();
    int32_t count = 0;
    AccelerationSnapshot* records = engine.drainAccelerationSnapshots(&count);
    benchmark::DoNotOptimize(records);
    releaseDrained(records);
    if (count != kSnapshotHistoryLength) state.SkipWithError("drain did not return 150 records");
  }
}
BENCHMARK(BM_DrainOneHundredFifty);

}  // namespace

BENCHMARK_MAIN();
