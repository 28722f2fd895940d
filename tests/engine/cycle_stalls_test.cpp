#include "engine/cycle_stalls.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace portrelay {
namespace {

TEST(CycleStalls, CountsLongCyclesAndKeepsTheLongestOfTenSeconds) {
  CycleStalls stalls;
  const int64_t t0 = 5'000'000;  // any monotonic origin
  // A steady run with two stalls: 10 ms exactly is no stall, 10.001 is.
  for (int i = 0; i < 500; ++i) stalls.record(2.0, t0 + 2 * i);
  stalls.record(10.0, t0 + 1010);
  stalls.record(10.001, t0 + 1021);
  stalls.record(52.0, t0 + 3000);
  stalls.record(2.0, t0 + 3002);
  stalls.record(std::nan(""), t0 + 3004);  // not a cycle
  stalls.record(-1.0, t0 + 3006);          // nor this
  EXPECT_EQ(stalls.longCycles(), 2);

  struct Case {
    int64_t nowMs;
    double longestMs;
  };
  const Case cases[] = {
      {t0 + 3000, 52.0},    // the second it ended in
      {t0 + 12999, 52.0},   // still within ten whole seconds
      {t0 + 14000, 0.0},    // its second is more than ten seconds back: none left
      {t0 + 1500, 10.001},  // a reader behind the writer sees only what had ended
      {t0 + 100, 2.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.nowMs - t0);
    EXPECT_NEAR(stalls.longestMs(c.nowMs), c.longestMs, 0.0005);
  }

  // A slot reused eleven seconds later holds only the new second's cycles.
  stalls.record(3.0, t0 + 3000 + 11'000);
  EXPECT_NEAR(stalls.longestMs(t0 + 14'000), 3.0, 0.0005);

  stalls.reset();
  EXPECT_EQ(stalls.longCycles(), 0);
  EXPECT_EQ(stalls.longestMs(t0 + 14'000), 0.0);
}

TEST(CycleStalls, AHugeCycleSaturatesInsteadOfWrapping) {
  CycleStalls stalls;
  stalls.record(1.0e12, 7'000);
  EXPECT_EQ(stalls.longestMs(7'000), static_cast<double>(std::numeric_limits<uint32_t>::max()) / 1000.0);
  EXPECT_EQ(stalls.longCycles(), 1);
}

}  // namespace
}  // namespace portrelay
