// NOISE: seeded value noise with a new target every period.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "filters/chain_evaluation.h"
#include "filters/filter_parser.h"
#include "filters/noise_layer.h"

namespace portrelay {
namespace {

std::vector<double> noiseOutputs(const char* filter, int calls) {
  const auto head = parseFilterString(filter);
  EXPECT_TRUE(head->valid.load());
  std::vector<double> outputs;
  for (int i = 0; i < calls; ++i) outputs.push_back(evaluateChain(*head, 0.0, 1.0, 1.0, 1.0));
  return outputs;
}

TEST(UniformSignedFloat, SameDrawsAsTheStandardDistribution) {
  std::mt19937 ours(7);
  std::mt19937 standard(7);
  std::uniform_real_distribution<float> reference(-1.0f, 1.0f);
  UniformSignedFloat draw;
  for (int i = 0; i < 20000; ++i) {
    const float value = draw(ours);
    ASSERT_EQ(value, reference(standard)) << i;
    ASSERT_GE(value, -1.0f);
    ASSERT_LT(value, 1.0f);
  }
}

TEST(UniformSignedFloat, EndsOfTheGeneratorRange) {
  EXPECT_EQ(UniformSignedFloat::fromOutput(0), -1.0f);
  EXPECT_EQ(UniformSignedFloat::fromOutput(0x80000000u), 0.0f);
  // float(u) rounds up to 2^32 here; the draw must still stay below 1.
  EXPECT_LT(UniformSignedFloat::fromOutput(0xFFFFFFFFu), 1.0f);
  EXPECT_LT(UniformSignedFloat::fromOutput(0xFFFFFF80u), 1.0f);
  EXPECT_EQ(UniformSignedFloat::fromOutput(0xFFFFFF7Fu), 1.0f - 0x1p-23f);
}

struct SeedCase {
  float argument;
  uint32_t seed;
};

TEST(NoiseSeed, LowBitsOfTheTruncatedArgument) {
  const SeedCase cases[] = {SeedCase{7.0f, 7u}, SeedCase{7.9f, 7u}, SeedCase{-7.9f, 0xFFFFFFF9u},
                      SeedCase{-1.0f, 0xFFFFFFFFu}, SeedCase{4294967296.0f, 0u},
                      SeedCase{5e9f, static_cast<uint32_t>(static_cast<int64_t>(5e9f))},
                      SeedCase{-5e9f, static_cast<uint32_t>(static_cast<int64_t>(-5e9f))},
                      SeedCase{1e30f, 0u}, SeedCase{INFINITY, 0u}, SeedCase{NAN, 0u}};
  for (const SeedCase& c : cases) EXPECT_EQ(noiseSeed(c.argument), c.seed) << c.argument;
}

TEST(Noise, SameSeedSameSequence) {
  EXPECT_EQ(noiseOutputs("NOISE(VALUE;1;100;7)", 400), noiseOutputs("NOISE(VALUE;1;100;7)", 400));
  EXPECT_NE(noiseOutputs("NOISE(VALUE;1;100;7)", 400), noiseOutputs("NOISE(VALUE;1;100;8)", 400));
}

TEST(Noise, TargetsEveryFiftyCallsInterpolatedBetween) {
  const auto outputs = noiseOutputs("NOISE(VALUE;0,5;100;7)", 200);
  std::mt19937 generator(7);
  UniformSignedFloat draw;
  std::vector<float> targets = {0.0f};
  for (int i = 0; i < 5; ++i) targets.push_back(draw(generator));
  // Call 50k (1-based) lands exactly on target k.
  for (int k = 1; k <= 4; ++k) EXPECT_EQ(outputs[50 * k - 1], targets[k] * 0.5f) << k;
  // Halfway between targets.
  EXPECT_NEAR(outputs[24], 0.5 * 0.5 * targets[1], 1e-6);
  EXPECT_NEAR(outputs[74], 0.5 * (0.5 * targets[1] + 0.5 * targets[2]), 1e-6);
}

TEST(Noise, PeriodOfZeroOrBelowAddsNothing) {
  for (const char* filter : {"NOISE(VALUE;1;0;7)", "NOISE(VALUE;1;-5;7)"}) {
    const auto head = parseFilterString(filter);
    for (int i = 0; i < 100; ++i) EXPECT_EQ(evaluateChain(*head, 1.25, 1.0, 1.0, 1.0), 1.25) << filter;
  }
}

TEST(Noise, PeriodsShorterThanACallStayWithinTheAmplitude) {
  for (const char* filter : {"NOISE(VALUE;2;1;3)", "NOISE(VALUE;2;0,001;3)", "NOISE(VALUE;2;3;3)"}) {
    const auto outputs = noiseOutputs(filter, 5000);
    for (double v : outputs) ASSERT_LE(std::fabs(v), 2.0) << filter;
  }
}

}  // namespace
}  // namespace portrelay
