// What the owner is warned of and told about the rig while the host runs, for
// every front end (the terminal view, the web panel): axes held at a rig
// limit, engine stalls, a lost link and dropped frames, the rig's identity
// and level, and why a running game may not be detected. The facts come from
// the library's exports (readLibraryFacts); the lines are made here alone.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "library_api.h"

namespace host {

inline constexpr int kGameCount = 18;

// One look at the library, as its exports report it.
struct LibraryFacts {
  int32_t transport = 0;  // 0 none talks yet, 1 serial, 2 UDP
  int32_t comNumber = 0, identity = 0, level = -1;
  int32_t linksLost = 0, framesDropped = 0;
  int32_t gameId = -1;
  std::array<int32_t, kGameCount> detectionClues{};  // bit 1 telemetry seen, bit 2 process seen
  int32_t longCycles = 0;                              // engine cycles over 10 ms since the start
  double longestCycleMs = 0;                           // the longest of the last 10 s
  std::array<double, 6> clipped{};                     // per axis, share of the last second at a rig limit
};

LibraryFacts readLibraryFacts(const LibraryApi& api);

// Turns successive looks into lines. The counters of lost links and dropped
// frames are the library's since it was loaded: this keeps the values of the
// run's first look and of the last 10 s, so only what happened in this run,
// and lately, is told.
class ViewWarnings {
 public:
  static constexpr double kRecentSeconds = 10.0;

  // A new look at `nowSeconds` (any monotonic clock, in seconds).
  void observe(const LibraryFacts& facts, double nowSeconds);
  // The warnings, most urgent first; empty when all is well.
  std::vector<std::string> lines() const;
  // "COM7, identity 1, level 328 (serial link)", or what is still missing.
  std::string rigLine() const;
  // A rig port is open, serial or over the network, as of the last look.
  bool rigPortOpen() const { return observed_ && (now_.comNumber > 0 || now_.transport == 2); }

 private:
  bool observed_ = false;
  LibraryFacts now_, first_;
  double nowSeconds_ = 0;
  double lastLossSeconds_ = 0;
  // (time, frames dropped so far) of the looks of the last kRecentSeconds.
  std::vector<std::pair<double, int32_t>> droppedHistory_;
};

}  // namespace host
