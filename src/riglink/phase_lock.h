// Phase lock of the transmit loops (the serial relay, the multicast sender) to
// the engine. The engine queues one motion frame per cycle and raises the
// FrameSignal; a loop paced by PhaseLock runs its next cycle as soon as that
// happens, so a frame does not wait in the queue for the loop's own tick.
// Without frames (no game, rig not ready, host messages only) the loop keeps
// its own 2-ms precise pacing.
//
// The rule (one loop cycle per engine frame, no extra cycles while locked):
// - Unlocked (no frame during the last wait): the precise wait of CycleTimer,
//   a sleep to shortly before 2000 µs after the last cycle's end (by the
//   learnt margin of SleepMargin; else at most one 1-ms sleep) then a spin to
//   just over it; a frame signalled meanwhile ends the wait at once and locks.
// - Locked (the last wait ended on a frame): the loop blocks until the next
//   frame, for at most 2000 µs + kLockSlackUs after the last cycle's end. The
//   engine's frames come every 2 ms with the jitter of its 1-ms sleep, so the
//   loop's own tick, pushed back by the slack, does not run a cycle of its own
//   just before a frame (which would repeat the auto message once more and
//   then send the frame 0.05 ms later). A frame later than the slack means the
//   frames have stopped or the engine stalled: the loop runs its own tick,
//   unlocks and paces itself again, and the late frame, if one comes,
//   re-locks it with a cycle of its own.
// - The frames counted for a cycle are those signalled before the cycle takes
//   its snapshot (beginCycle, just ahead of draining the queues); a frame
//   queued while the cycle's later steps run wakes the next one at once.
// While locked the loop does not spin: it sleeps in the kernel until the
// engine wakes it.
#pragma once
#include <atomic>
#include <cstdint>

#include "common/cycle_timer.h"
#include "common/sleep_margin.h"
#include "platform/clock.h"

namespace portrelay {

// How far a locked loop's own tick moves past the 2-ms period while it waits
// for the engine's next frame: half a period, about ten times the usual
// jitter of the engine's frame times, and short enough that a loop whose
// frames stopped misses only one tick.
inline constexpr double kLockSlackUs = 1000.0;

// Raised by the engine each time it queues a motion frame. No lock, no
// allocation: one atomic add and one wake-up call.
class FrameSignal {
 public:
  FrameSignal() = default;
  FrameSignal(const FrameSignal&) = delete;
  FrameSignal& operator=(const FrameSignal&) = delete;

  // Frames signalled so far (wraps around).
  uint32_t sequence() const noexcept { return sequence_.load(std::memory_order_acquire); }
  void signal() noexcept;
  // Blocks while the sequence is still `seen`, at most timeoutUs of `clock`
  // (see platform::waitOnWord); may return early. True when it has changed.
  bool waitChange(uint32_t seen, int64_t timeoutUs,
                  const platform::Clock& clock = platform::realClock()) const noexcept;

 private:
  std::atomic<uint32_t> sequence_{0};
};

// The pacing state of one transmit loop (used by that loop's thread only).
class PhaseLock {
 public:
  // At the start of a cycle, before its queues are drained: the frames
  // signalled so far are this cycle's.
  void beginCycle(const FrameSignal& frames) noexcept { seen_ = frames.sequence(); }
  // At the end of a cycle: waits for the next frame or the loop's own tick
  // (see the rule above) on the timer's clock, then ends the interval on `timer`.
  void endCycle(CycleTimer& timer, const FrameSignal& frames);
  bool locked() const noexcept { return locked_; }

 private:
  uint32_t seen_ = 0;
  bool locked_ = false;
  SleepMargin margin_;  // of the unlocked wait's sleeps
};

}  // namespace portrelay
