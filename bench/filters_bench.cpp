// Cost of the filter system: parsing, one node, and one engine cycle's worth
// of chain evaluations (32 chains of depth 2 to 4 through the profile slots).
#include <benchmark/benchmark.h>

#include <string>

#include "engine/cue_profile.h"
#include "filters/chain_evaluation.h"
#include "filters/filter_parser.h"

namespace portrelay {
namespace {

constexpr const char* kTypical = "EMALP(CROP(GAIN(VALUE;0,8);-2;2);10)";

void BM_ParseTypical(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(parseFilterString(kTypical));
}
BENCHMARK(BM_ParseTypical);

// A chain of `depth` GAIN nodes over VALUE; items are nodes evaluated.
void BM_EvaluatePerNode(benchmark::State& state) {
  std::string text = "VALUE";
  for (int64_t i = 0; i < state.range(0); ++i) text = "GAIN(" + text + ";1)";
  const auto head = parseFilterString(text);
  double x = 0.5;
  for (auto _ : state) benchmark::DoNotOptimize(x = evaluateChain(*head, x, 1.0, 1.0, 1.0));
  state.SetItemsProcessed(state.iterations() * (state.range(0) + 1));
}
BENCHMARK(BM_EvaluatePerNode)->Arg(0)->Arg(1)->Arg(3)->Arg(15)->Arg(127);

// The stateful nodes, each over VALUE.
void BM_EvaluateKind(benchmark::State& state, const char* text) {
  const auto head = parseFilterString(text);
  double x = 0.0;
  for (auto _ : state) {
    x = x > 5.0 ? -5.0 : x + 0.01;
    benchmark::DoNotOptimize(evaluateChain(*head, x, 1.0, 1.0, 1.0));
  }
}
BENCHMARK_CAPTURE(BM_EvaluateKind, emalp, "EMALP(VALUE;10)");
BENCHMARK_CAPTURE(BM_EvaluateKind, logistic, "LOGISTIC(VALUE;10;1)");
BENCHMARK_CAPTURE(BM_EvaluateKind, sinus, "SINUS(VALUE;2;1)");
BENCHMARK_CAPTURE(BM_EvaluateKind, noise, "NOISE(VALUE;1;100;7)");
BENCHMARK_CAPTURE(BM_EvaluateKind, edynlp, "EDYNLP(VALUE;0,5;2;0)");
BENCHMARK_CAPTURE(BM_EvaluateKind, rollover, "ROLLOVER(VALUE;1)");

// One engine cycle: 32 slot evaluations (10 + 10 main, 5 belt, 1 fan, 6
// effects) through the slots' reader registration, chains of depth 2 to 4.
void BM_EngineCycle32Chains(benchmark::State& state) {
  CueProfile air("Profil AIR");
  CueProfile ground("Profil GROUND");
  const char* chains[] = {"GAIN(VALUE;1,5)", "EMALP(GAIN(VALUE;2);10)",
                          "CROP(EMALP(GAIN(VALUE;0,8);10);-2;2)", "EMAHP(LOGISTIC(VALUE;10;1);50)",
                          "LDYNLP(GAIN(VALUE;2);0,5;2;0)", "SINUS(VALUE;0,2;8)",
                          "ADD(NOISE(VALUE;0,1;100;7);0)", "ABS(ROLLOVER(VALUE;180))"};
  for (int slot = 0; slot < kCueSlotCount; ++slot) {
    air.chains[static_cast<size_t>(slot)].replace(parseFilterString(chains[slot % 8]));
    ground.chains[static_cast<size_t>(slot)].replace(parseFilterString(chains[(slot + 3) % 8]));
  }
  double input = 0.0;
  for (auto _ : state) {
    input = input > 3.0 ? -3.0 : input + 0.001;
    double sum = 0.0;
    for (int slot = 10; slot <= 14; ++slot) sum += air.evaluateSlot(slot, input);
    sum += air.evaluateSlot(21, input);
    for (int slot = 15; slot <= 20; ++slot) sum += air.evaluateSlot(slot, 0.0);
    for (int slot = 0; slot <= 9; ++slot) sum += air.evaluateSlot(slot, input);
    for (int slot = 0; slot <= 9; ++slot) sum += ground.evaluateSlot(slot, input);
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * 32);
}
BENCHMARK(BM_EngineCycle32Chains);

}  // namespace
}  // namespace portrelay

BENCHMARK_MAIN();
