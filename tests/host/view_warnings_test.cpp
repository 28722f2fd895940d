// The host's warnings as a table: each condition the library reports gives
// its one line, and nothing is said when all is well.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "view_warnings.h"

namespace {

using host::LibraryFacts;
using host::ViewWarnings;

struct Look {
  double seconds;
  std::function<void(LibraryFacts&)> change;  // applied to the facts of the look before
};

LibraryFacts connected() {
  LibraryFacts facts;
  facts.transport = 1;
  facts.comNumber = 7;
  facts.identity = 1;
  facts.level = 328;
  facts.gameId = 3;
  facts.linksLost = 2;         // from before this run: not this run's to tell
  facts.framesDropped = 500;   // likewise
  return facts;
}

ViewWarnings play(const std::vector<Look>& looks) {
  ViewWarnings warnings;
  LibraryFacts facts = connected();
  for (const Look& look : looks) {
    if (look.change) look.change(facts);
    warnings.observe(facts, look.seconds);
  }
  return warnings;
}

TEST(ViewWarnings, EachConditionGivesItsLine) {
  struct Case {
    const char* name;
    std::vector<Look> looks;
    std::vector<std::string> expected;
  };
  const std::vector<Case> cases = {
      {"all well", {{0, nullptr}, {30, nullptr}}, {}},
      {"link lost",
       {{0, nullptr}, {4, [](LibraryFacts& f) { f.linksLost = 3; }}, {9, nullptr}},
       {"rig link lost 1 time in this run, the last 5 s ago"}},
      {"frames dropped lately",
       {{0, nullptr}, {3, [](LibraryFacts& f) { f.framesDropped = 530; }}, {5, nullptr}},
       {"30 motion frames dropped in the last 10 s: the link could not take them"}},
      {"frames dropped long ago",
       {{0, nullptr}, {3, [](LibraryFacts& f) { f.framesDropped = 530; }}, {14, nullptr}, {20, nullptr}},
       {}},
      {"engine stalls",
       {{0, [](LibraryFacts& f) {
          f.longCycles = 3;
          f.longestCycleMs = 25.4;
        }}},
       {"engine stalls: 3 cycles over 10 ms, the longest of the last 10 s 25 ms"}},
      {"a cycle of 10 ms is no stall", {{0, [](LibraryFacts& f) { f.longestCycleMs = 10.0; }}}, {}},
      {"clipping",
       {{0, [](LibraryFacts& f) {
          f.clipped[2] = 0.5;
          f.clipped[5] = 0.031;
        }}},
       {"held at a rig limit in the last second: heave 50 %  pitch 3 %  "}},
      {"telemetry without its process",
       {{0, [](LibraryFacts& f) {
          f.gameId = -1;
          f.detectionClues[0] = 1;
        }}},
       {"Xplane: datagrams arrive on port 4321 but no X-Plane.exe runs (gamesim: --as X-Plane.exe)"}},
      {"telemetry without either process",
       {{0, [](LibraryFacts& f) {
          f.gameId = -1;
          f.detectionClues[17] = 1;
          f.detectionClues[1] = 1;
        }}},
       {"DCS: datagrams arrive on port 4124 but no DCS.exe or DCS64.exe runs (gamesim: --as DCS.exe)",
        "ETSM2/AMT: its shared memory SCSTelemetryExample moves but no eurotrucks2.exe runs (gamesim: --as eurotrucks2.exe)"}},
      {"process without telemetry",
       {{0, [](LibraryFacts& f) {
          f.gameId = -1;
          f.detectionClues[7] = 2;
        }}},
       {"F1-2023-24: the game runs but no datagrams arrive on port 20777: in a menu, or its telemetry output is off"}},
      {"no hints while a game is attached", {{0, [](LibraryFacts& f) { f.detectionClues[0] = 1; }}}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(play(c.looks).lines(), c.expected);
  }
}

TEST(ViewWarnings, RigLineSaysWhatIsKnown) {
  struct Case {
    int32_t transport, comNumber, identity, level;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {1, 7, 1, 328, "COM7, identity 1, level 328 (serial link)"},
      {0, 7, 2, -1, "COM7, identity 2, level not reported yet"},
      {0, 0, 0, -1, "no rig identified yet"},
      {0, 0, 1, 328, "no rig port open (the last rig gave identity 1)"},
      {2, 0, 0, 330, "over the network, level 330 (UDP link)"},
  };
  for (const Case& c : cases) {
    LibraryFacts facts;
    facts.transport = c.transport;
    facts.comNumber = c.comNumber;
    facts.identity = c.identity;
    facts.level = c.level;
    ViewWarnings warnings;
    warnings.observe(facts, 0);
    EXPECT_EQ(warnings.rigLine(), c.expected);
  }
}

}  // namespace
