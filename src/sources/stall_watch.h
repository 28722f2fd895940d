// Tells a game that still writes its memory from one that stopped writing it
// (crashed, or quit without withdrawing the memory): the reader notes every
// change of the game's marker, and once the marker has stood still for
// kStalledAfter it answers no sample, so that the engine's count of empty
// cycles lets the game go.
#pragma once
#include <chrono>

namespace portrelay {

// The games watched this way write 50 times a second or more (iRacing 60), so
// 250 ms is more than a dozen missed writes: a loading hitch of a live game
// costs at most a few empty cycles, while a dead game is let go about 2.25 s
// after its last write (this plus the engine's 1000 empty cycles).
inline constexpr std::chrono::milliseconds kStalledAfter{250};

class StallWatch {
 public:
  using Clock = std::chrono::steady_clock;

  // The marker moved at `now`.
  void changed(Clock::time_point now) {
    lastChange_ = now;
    seen_ = true;
  }
  // No change seen since the last reset, or none for longer than kStalledAfter.
  bool stalled(Clock::time_point now) const { return !seen_ || now - lastChange_ > kStalledAfter; }
  void reset() { seen_ = false; }

 private:
  Clock::time_point lastChange_{};
  bool seen_ = false;
};

}  // namespace portrelay
