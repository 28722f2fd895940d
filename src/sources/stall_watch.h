// Tells a game that still writes its memory from one that stopped writing it
// (crashed, or quit without withdrawing the memory): the reader notes every
// change of the game's marker, and once the marker has stood still for
// kStalledAfter it answers no sample, so that the engine's count of empty
// cycles lets the game go.
#pragma once
#include <chrono>
#include <cstdint>

#include "platform/clock.h"

namespace portrelay {

// The games watched this way write 50 times a second or more (iRacing 60), so
// 250 ms is more than a dozen missed writes: a loading hitch of a live game
// costs at most a few empty cycles, while a dead game is let go about 2.25 s
// after its last write (this plus the engine's 1000 empty cycles).
//
// Safe for a paused game: a paused page stands still, so the game is let go
// like a dead one, but nothing moves on the way. Its samples stopped changing,
// so the outputs had already settled on held values (the frozen-data watch
// holds them after 0.5 s); letting go suspends the output and stops the fan;
// once the game runs again its moving page is detected within a few detection
// passes and the output fades back in over the full 4000 ms. Holding on
// longer would only keep a seat posed, and a fan blowing, for a game that may
// never come back.
inline constexpr std::chrono::milliseconds kStalledAfter{250};

class StallWatch {
 public:
  explicit StallWatch(const platform::Clock& clock = platform::realClock()) : clock_(clock) {}

  // The marker moved just now.
  void changed() {
    lastChange_ = clock_.counter();
    seen_ = true;
  }
  // No change seen since the last reset, or none for longer than kStalledAfter.
  bool stalled() const {
    return !seen_ || clock_.counter() - lastChange_ > kStalledAfter.count() * clock_.frequency() / 1000;
  }
  void reset() { seen_ = false; }

 private:
  const platform::Clock& clock_;
  int64_t lastChange_ = 0;
  bool seen_ = false;
};

}  // namespace portrelay
