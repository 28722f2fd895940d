// Which of the rig link's thread bodies (the serial relay, the multicast
// sender, the UDP listener) run, and the stop requests they have not seen yet.
//
// The host runs each body on a thread of its own and may ask them to stop
// before such a thread has even entered its body. A stop must win whenever it
// comes: a stop that finds a body not running is kept for that body, and an
// entry within kKeptStopMs of it ends at once. A kept stop older than that is
// forgotten: a thread that was on its way takes milliseconds to enter, while a
// start that much later is the host's new intention (a serial link stopped,
// the UDP link started). Entry, exit and the stop request take one small lock
// (never inside a cycle), so a stop is either seen by an entering body or
// finds it running and waits for it.
#pragma once
#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>

namespace portrelay {

enum class LinkThread : uint8_t { relay = 0, sender = 1, listener = 2 };

class LinkThreads {
 public:
  static constexpr int64_t kKeptStopMs = 500;

  // At the start of a body: false when a stop request waited for it (it is
  // consumed; the body must end at once without running); true when the body
  // now counts as running.
  bool enter(LinkThread body);
  // At the end of a body that entered.
  void leave(LinkThread body);
  // Keeps a stop for every body that does not run now; the caller then clears
  // the run flags and waits for those that run (while holding this lock no
  // body can enter unseen).
  void requestStop();
  // Bit 0: the relay loop runs, bit 1: the multicast sender, bit 2: the UDP listener.
  int32_t runningMask() const;
  // The same bits for the bodies whose next entry a kept stop ends.
  int32_t stopPendingMask() const;
  // Under the lock: a false answer comes after the last body's leave() has
  // released it, so the caller may then destroy this object.
  bool anyRunning() const;

 private:
  static size_t index(LinkThread body) { return static_cast<size_t>(body); }
  mutable std::mutex mutex_;
  std::array<std::atomic<int32_t>, 3> running_{};
  // When each kept stop was asked for (performance-counter ticks); 0: none.
  std::array<int64_t, 3> stopPendingSince_{};
  bool pending(size_t body) const;
};

// Sleeps up to `milliseconds` in short slices and returns early once `keepGoing`
// reads 0: the loops' idle and scan pauses end within a slice of a stop.
void sleepWhileSet(const std::atomic<uint8_t>& keepGoing, int milliseconds);

}  // namespace portrelay
