// What chains compute, call after call.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "filters/chain_evaluation.h"
#include "filters/filter_parser.h"
#include "filters/filter_steps.h"

namespace portrelay {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// Runs the inputs through a fresh chain and returns the outputs.
std::vector<double> run(const std::string& filter, const std::vector<double>& inputs) {
  const auto head = parseFilterString(filter);
  EXPECT_TRUE(head->valid.load()) << filter;
  std::vector<double> outputs;
  for (double x : inputs) outputs.push_back(evaluateChain(*head, x, 1.0, 1.0, 1.0));
  return outputs;
}

struct SequenceCase {
  std::string filter;
  std::vector<double> inputs;
  std::vector<double> expected;
};

void expectSequence(const SequenceCase& c) {
  SCOPED_TRACE(c.filter);
  const auto outputs = run(c.filter, c.inputs);
  ASSERT_EQ(outputs.size(), c.expected.size());
  for (size_t i = 0; i < outputs.size(); ++i)
    EXPECT_NEAR(outputs[i], c.expected[i], 1e-6) << c.filter << " call " << i;
}

const SequenceCase kSequences[] = {
        SequenceCase{"VALUE", {3.5, -2.0}, {3.5, -2.0}},
        SequenceCase{"EMALP(VALUE;1)", {1.0, -4.0, 7.5}, {1.0, -4.0, 7.5}},
        SequenceCase{"EMALP(VALUE;10)", {1.0, 1.0, 1.0}, {0.1, 0.19, 0.271}},
        SequenceCase{"EMAHP(VALUE;10)", {1.0, 1.0, 1.0}, {0.9, 0.81, 0.729}},
        SequenceCase{"MUL(VALUE;-3)", {2.0}, {-6.0}},
        SequenceCase{"GAIN(VALUE;0,5)", {3.0}, {1.5}},
        SequenceCase{"ADD(VALUE;1.5)", {1.0}, {2.5}},
        SequenceCase{"SETVALUE(VALUE;3)", {100.0, -1.0}, {3.0, 3.0}},
        SequenceCase{"ABS(VALUE)", {-2.0, 2.0}, {2.0, 2.0}},
        SequenceCase{"CROP(VALUE;-1;1)", {3.0, -3.0, 0.5}, {1.0, -1.0, 0.5}},
        SequenceCase{"CROP(VALUE;1;-1)", {3.0, -3.0, 0.0}, {1.0, 1.0, 1.0}},
        SequenceCase{"ROLLOVER(VALUE;1)", {1.5, -2.5, 0.25, 1.0}, {0.5, 0.5, 0.25, 1.0}},
        SequenceCase{"BITSCALE(VALUE;100;255)", {50.0, -3.0, 300.0}, {127.5, 0.0, 255.0}},
        SequenceCase{"BITSCALESIGNED(VALUE;100;255)", {-300.0, 50.0}, {-255.0, 127.5}},
        SequenceCase{"REMAP(VALUE;0;10;-1;1)", {5.0, 20.0}, {0.0, 3.0}},
        SequenceCase{"LOGISTIC(VALUE;10;1)", {0.0, 1e6, -1e6, 1e-3}, {0.0, 10.0, -10.0, 1e-3}},
        SequenceCase{"LDYNLP(VALUE;0.5;2;0)", {0.4, 0.0}, {0.4, 0.0}},
        SequenceCase{"LDYNLP(VALUE;0.5;2;0)", {3.0}, {0.6}},
        SequenceCase{"EDYNLP(VALUE;0.5;2;0)", {3.0}, {0.24}},         // 3 / (2.5^2 * 2)
        SequenceCase{"SPIKE(VALUE;0.5;2;3;9)", {3.0}, {0.096}},       // 3 / (2.5^3 * 2)
        // The innermost keyword acts first.
        SequenceCase{"GAIN(EMALP(VALUE;10);2)", {1.0, 1.0}, {0.2, 0.38}},
        SequenceCase{"CROP(GAIN(VALUE;2);-1;1)", {0.8}, {1.0}},
        SequenceCase{"GAIN(CROP(VALUE;-1;1);2)", {0.8}, {1.6}},
};

TEST(ChainEvaluation, Sequences) {
  for (const SequenceCase& c : kSequences) expectSequence(c);
}

TEST(ChainEvaluation, InvalidChainYieldsZero) {
  const auto head = parseFilterString("GAIN(VALUE)");
  EXPECT_EQ(evaluateChain(*head, 5.0, 1.0, 1.0, 1.0), 0.0);
  EXPECT_EQ(evaluateChain(*head, -5.0, 1.0, 1.0, 1.0), 0.0);
}

TEST(ChainEvaluation, ScalesApplyToValueAndAverages) {
  const auto value = parseFilterString("VALUE");
  EXPECT_EQ(evaluateChain(*value, 2.0, 3.0, 1.0, 1.0), 6.0);
  // A time constant scaled below 1 is a divisor of 1: the input passes.
  const auto lowPass = parseFilterString("EMALP(VALUE;10)");
  EXPECT_EQ(evaluateChain(*lowPass, 1.0, 1.0, 0.05, 1.0), 1.0);
  const auto highPass = parseFilterString("EMAHP(VALUE;10)");
  EXPECT_NEAR(evaluateChain(*highPass, 1.0, 1.0, 1.0, 0.5), 0.8, 1e-7);  // divisor 5
}

TEST(ChainEvaluation, StateIsStoredAsFloat) {
  const auto head = parseFilterString("EMALP(VALUE;10)");
  EXPECT_EQ(evaluateChain(*head, 1.0, 1.0, 1.0, 1.0), static_cast<double>(0.1f));
  EXPECT_EQ(head->state, 0.1f);
}

TEST(ChainEvaluation, SineRepeatsEvery500CallsAndIgnoresItsInput) {
  const auto head = parseFilterString("SINUS(VALUE;2;1)");
  std::vector<double> outputs;
  for (int i = 0; i < 1000; ++i) outputs.push_back(evaluateChain(*head, i * 7.0, 1.0, 1.0, 1.0));
  double peak = 0.0;
  for (double v : outputs) peak = std::max(peak, std::fabs(v));
  EXPECT_NEAR(peak, 2.0, 1e-3);
  EXPECT_NEAR(outputs[0], 2.0 * std::sin(6.283185307179586 * 0.002), 1e-6);
  EXPECT_NEAR(outputs[124], 2.0, 1e-3);  // a quarter turn after 125 calls
  for (int i = 0; i < 500; ++i) EXPECT_NEAR(outputs[i], outputs[i + 500], 1e-3) << i;
}

TEST(ChainEvaluation, NegativeFrequencyKeepsItsPhaseBounded) {
  const auto head = parseFilterString("SINUS(VALUE;1;-1)");
  for (int i = 0; i < 100000; ++i) evaluateChain(*head, 0.0, 1.0, 1.0, 1.0);
  EXPECT_LE(std::fabs(head->state), 6.2832f);
  // Still a 1 Hz sine: a quarter turn later it has moved by a quarter period.
  const double before = evaluateChain(*head, 0.0, 1.0, 1.0, 1.0);
  for (int i = 0; i < 249; ++i) evaluateChain(*head, 0.0, 1.0, 1.0, 1.0);
  EXPECT_NEAR(evaluateChain(*head, 0.0, 1.0, 1.0, 1.0), -before, 1e-3);  // half a turn
}

// The closed-form fold against the reflection loop it replaces, for inputs
// where the loop is short.
TEST(Rollover, MatchesTheReflectionWithinFourBounds) {
  for (double bound : {1.0, 0.3, 7.5, 1e-3}) {
    for (int i = -4000; i <= 4000; ++i) {
      const double x = i * bound / 1000.0 * 0.999;
      double folded = x;
      while (folded > bound || folded < -bound)
        folded = folded > 0 ? bound - (folded - bound) : -bound - (bound + folded);
      ASSERT_EQ(rolloverFold(x, bound), folded) << x << " " << bound;
    }
  }
}

struct FoldCase {
  double x;
  double bound;
  double expected;
};

TEST(Rollover, DefinedResultsEverywhere) {
  const FoldCase cases[] = {FoldCase{1e12 + 0.5, 1.0, 0.5},   // 1e12 is whole periods
                                           FoldCase{-(4e9 + 1.5), 1.0, -0.5},
                                           FoldCase{1e300, 1.0, 0.0},
                                           FoldCase{3.0, 0.0, 0.0},
                                           FoldCase{1.5, -1.0, 0.5},
                                           FoldCase{0.5, -1.0, 0.5},
                                           FoldCase{kInf, 1.0, 0.0},
                                           FoldCase{-kInf, 1.0, 0.0},
                                           FoldCase{kNaN, 1.0, 0.0},
                                           FoldCase{2.0, kNaN, 0.0},
                                           FoldCase{5.0, kInf, 5.0}};
  for (const FoldCase& c : cases) EXPECT_EQ(rolloverFold(c.x, c.bound), c.expected) << c.x << " " << c.bound;
}

TEST(ChainEvaluation, NonFiniteInputUsesTheLastFiniteInput) {
  const auto head = parseFilterString("EMALP(VALUE;10)");
  const auto reference = parseFilterString("EMALP(VALUE;10)");
  for (double x : {1.0, kNaN, kInf, -kInf, 1.0}) {
    const double out = evaluateChain(*head, x, 1.0, 1.0, 1.0);
    EXPECT_EQ(out, evaluateChain(*reference, 1.0, 1.0, 1.0, 1.0));
    EXPECT_TRUE(std::isfinite(head->state));
  }
  // Before any finite input the stand-in is 0.
  const auto fresh = parseFilterString("ADD(VALUE;2)");
  EXPECT_EQ(evaluateChain(*fresh, kNaN, 1.0, 1.0, 1.0), 2.0);
}

TEST(ChainEvaluation, OverflowNeverReachesStateOrResult) {
  // 1e300 * 1e30 overflows to infinity inside the chain.
  const auto head = parseFilterString("EMALP(GAIN(VALUE;1000000000000000000000000000000);10)");
  EXPECT_EQ(evaluateChain(*head, 1e300, 1.0, 1.0, 1.0), 0.0);
  EXPECT_EQ(head->state, 0.0f);  // held
  const double next = evaluateChain(*head, 1.0, 1.0, 1.0, 1.0);
  EXPECT_NEAR(next, 1e29, 1e23);

  const auto gain = parseFilterString("GAIN(VALUE;2)");
  EXPECT_EQ(evaluateChain(*gain, 1.0, 1.0, 1.0, 1.0), 2.0);
  EXPECT_EQ(evaluateChain(*gain, 1e308, 1.0, 1.0, 1.0), 2.0);  // last finite result
  // inf * 0 inside REMAP would be NaN.
  const auto remap = parseFilterString("REMAP(GAIN(VALUE;1000000000000000000000000000000);0;1;5;5)");
  EXPECT_EQ(evaluateChain(*remap, 1e300, 1.0, 1.0, 1.0), 0.0);
}

TEST(ChainEvaluation, DynamicLowPassHoldsItsMemoryOnOverflow) {
  const auto head = parseFilterString("LDYNLP(GAIN(VALUE;1000000000000000000000000000000);0.5;2;0)");
  evaluateChain(*head, 1e300, 1.0, 1.0, 1.0);
  EXPECT_TRUE(std::isfinite(head->state));
}

}  // namespace
}  // namespace portrelay
