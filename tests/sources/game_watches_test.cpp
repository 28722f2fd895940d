// The rules that tell a live game's memory from a dead one's, on a clock the
// test moves: the sign of life detection asks for and the stall watch that
// lets a game go.
#include <gtest/gtest.h>

#include <vector>

#include "sources/page_watch.h"
#include "sources/stall_watch.h"
#include "support/fake_clock.h"

namespace portrelay {
namespace {

using testing::FakeClock;

TEST(GameWatches, ASignOfLifeIsThreeMovesInARowEachWithinTheGap) {
  struct Look {
    double afterMs;  // since the previous look
    bool moved;
    bool alive;
  };
  struct Case {
    const char* name;
    std::vector<Look> looks;
  };
  const double gapMs = static_cast<double>(kLifeSignGap.count());
  const Case cases[] = {
      {"three moves a pass apart", {{0, true, false}, {500, true, false}, {500, true, true}, {500, true, true}}},
      {"one still look starts again", {{0, true, false}, {500, true, false}, {500, false, false}, {500, true, false},
                                       {500, true, true}}},
      {"a move after a long gap starts again", {{0, true, false}, {500, true, false}, {gapMs + 1, true, false},
                                                {500, true, false}, {500, true, true}}},
      {"a move exactly at the gap still counts", {{0, true, false}, {gapMs, true, false}, {gapMs, true, true}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeClock clock;
    clock.ticksPerReading = 0;
    LifeSign life(clock);
    for (const Look& look : c.looks) {
      clock.advanceUs(look.afterMs * 1000.0);
      EXPECT_EQ(life.test(look.moved), look.alive) << "at " << clock.nowUs() / 1000.0 << " ms";
    }
  }
}

TEST(GameWatches, AMarkerStillForLongerThanTheStallTimeIsAStalledGame) {
  FakeClock clock;
  clock.ticksPerReading = 0;
  StallWatch writes(clock);
  EXPECT_TRUE(writes.stalled());  // nothing seen yet
  writes.changed();
  const double stallMs = static_cast<double>(kStalledAfter.count());
  for (const double stillMs : {0.0, 16.0, stallMs}) {
    SCOPED_TRACE(stillMs);
    writes.changed();
    clock.advanceUs(stillMs * 1000.0);
    EXPECT_FALSE(writes.stalled());
  }
  clock.advanceUs(1.0);
  EXPECT_TRUE(writes.stalled());
  writes.changed();  // the game writes again
  EXPECT_FALSE(writes.stalled());
  writes.reset();
  EXPECT_TRUE(writes.stalled());
}

}  // namespace
}  // namespace portrelay
