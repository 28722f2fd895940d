// The compute cost of one engine cycle's output work, selectProfile (the
// cues through their filter chains and the mix), stepFade and sendOutput (the
// frame and its queueing; the fan is not configured), with a typical profile
// on a private engine. The rig queue is emptied now and then, as the relay does.
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>

#include "engine/motion_engine.h"
#include "riglink/link_state.h"

namespace {

using namespace portrelay;

void installTypicalProfile(MotionEngine& engine) {
  const char* chains[6] = {"EMALP(GAIN(VALUE;0.5);8)", "EMALP(GAIN(VALUE;0.5);8)", "EMAHP(GAIN(VALUE;0.5);200)",
                           "EMAHP(GAIN(VALUE;0.01);50)", "LOGISTIC(GAIN(VALUE;0.02);1;2)", "CROP(GAIN(VALUE;0.02);-1;1)"};
  for (int slot = 0; slot < 6; ++slot) {
    engine.installFilterString(0, slot, chains[slot]);
    engine.installFilterString(1, slot, chains[slot]);
    engine.setActiveAxis(0, slot, 1);
    engine.setActiveAxis(1, slot, 1);
    engine.setInputLimit(slot, -100.0, 100.0);
    engine.setRigLimit(slot, -0.8, 0.8);
  }
  engine.installFilterString(0, 15, "NOISE(VALUE;0.01;0.5;7)");
  engine.installFilterString(0, 21, "ADD(SINUS(VALUE;40;0.2);50)");
  for (int slot : {10, 11, 12, 15, 21}) engine.setActiveAxis(0, slot, 1);
  engine.setBeltMix(0, 1, 100.0);
  engine.setBeltMix(0, 2, 50.0);
}

void BM_EngineCycleOutput(benchmark::State& state) {
  auto rigLink = std::make_unique<RigLink>();  // large: its queues hold fixed slots
  RigLink& link = *rigLink;
  MotionEngine engine(link);
  installTypicalProfile(engine);
  link.mode().resume();
  double* data = engine.games().record().data;
  int64_t n = 0;
  for (auto _ : state) {
    // A moving sample, as a reader leaves it.
    const double t = static_cast<double>(n) * 0.002;
    for (int i = 1; i < 42; ++i) data[i] = std::sin(t * (1.0 + 0.1 * i)) * 0.5 * i;
    engine.selectProfile();
    engine.stepFade();
    engine.sendOutput();
    if (++n % 64 == 0) {
      link.serialTxQueue().clear();
      link.networkTxQueue().clear();
    }
    uint8_t frame[kOutputFrameSize];
    engine.copyOutputFrame(frame);
    benchmark::DoNotOptimize(frame);
  }
}
BENCHMARK(BM_EngineCycleOutput);

}  // namespace

BENCHMARK_MAIN();
