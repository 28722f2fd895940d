// Has a game's shared-memory page moved? A section that merely exists proves
// nothing: the Proton bridge holds every game's section open whether a game
// runs or not, and a killed bridge leaves zero-filled (or last-written) files
// behind. A game counts as running only while its page moves.
#pragma once
#include <array>
#include <chrono>
#include <cstdint>
#include <cstring>

#include "platform/clock.h"
#include "sources/byte_view.h"

namespace portrelay {

// Two detection tests of one game are one detection pass apart: the pauses
// between the eighteen tests, the port probes and at worst the NoLimits
// handshake make that 0.2 to 0.8 s. A change seen between two tests further
// apart than this may be the last write of a game that has since died.
inline constexpr std::chrono::milliseconds kLifeSignGap{2000};

// A copy of the first Size bytes of a page, to tell whether the game wrote it
// since the last look. No allocation: the copy lives in the watch.
template <size_t Size>
class PageWatch {
 public:
  // True when the page differs from the previous look's copy; the first look
  // after reset() only takes the copy. A page shorter than Size never moves.
  bool changed(ByteView page) {
    if (!page.covers(0, Size)) return false;
    const bool moved = seen_ && std::memcmp(last_.data(), page.data, Size) != 0;
    std::memcpy(last_.data(), page.data, Size);
    seen_ = true;
    return moved;
  }
  void reset() { seen_ = false; }

 private:
  std::array<uint8_t, Size> last_{};
  bool seen_ = false;
};

// Detection's sign of life: a test passes only when the game's marker moved
// between each of the last three tests, each at most kLifeSignGap after the
// one before. One change alone is not enough: it may be the last write of a
// game that crashed just then, or a page written once and left behind.
class LifeSign {
 public:
  explicit LifeSign(const platform::Clock& clock = platform::realClock()) : clock_(clock) {}

  // `moved`: the marker differs from the one the previous test saw.
  bool test(bool moved) {
    const int64_t now = clock_.counter();
    const bool recent = tested_ && now - lastTest_ <= kLifeSignGap.count() * clock_.frequency() / 1000;
    lastTest_ = now;
    tested_ = true;
    movesInARow_ = moved && recent ? movesInARow_ + 1 : 0;
    return movesInARow_ >= 2;
  }

 private:
  const platform::Clock& clock_;
  int64_t lastTest_ = 0;
  bool tested_ = false;
  int movesInARow_ = 0;
};

}  // namespace portrelay
