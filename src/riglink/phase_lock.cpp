#include "riglink/phase_lock.h"

#include <cmath>

#include "platform/word_wait.h"

namespace portrelay {

void FrameSignal::signal() noexcept {
  sequence_.fetch_add(1, std::memory_order_release);
  platform::wakeWordWaiters(sequence_);
}

bool FrameSignal::waitChange(uint32_t seen, int64_t timeoutUs, const platform::Clock& clock) const noexcept {
  if (sequence() == seen) clock.waitOnWord(sequence_, seen, timeoutUs);
  return sequence() != seen;
}

void PhaseLock::endCycle(CycleTimer& timer, const FrameSignal& frames) {
  const double tickUs = locked_ ? CycleTimer::kPeriodUs + kLockSlackUs : CycleTimer::kPeriodUs;
  double e = timer.elapsedUs();
  // Unlocked: sleep until shortly before the tick (by the learnt margin) and
  // spin the rest; where the margin leaves too little to sleep, the one 1-ms
  // sleep of the precise wait, taken only when the cycle ended within the
  // first millisecond of its period.
  double sleepEndUs = 0.0;
  bool learning = false;
  if (!locked_) {
    sleepEndUs = margin_.sleepEndUs(e, tickUs);
    learning = sleepEndUs > 0.0;
    if (!learning) {
      margin_.relax();
      if (e > 0.0 && e < 1000.0) sleepEndUs = e + 1000.0;
    }
  }
  for (;;) {
    if (frames.sequence() != seen_) {
      locked_ = true;
      break;
    }
    if (learning && e >= sleepEndUs) {
      margin_.learn(sleepEndUs, e);  // the first look after the sleep's end
      learning = false;
    }
    if (e > tickUs) {
      locked_ = false;
      break;
    }
    if (locked_) {
      frames.waitChange(seen_, static_cast<int64_t>(std::ceil(tickUs - e)) + 1, timer.clock());
    } else if (e < sleepEndUs) {
      frames.waitChange(seen_, static_cast<int64_t>(std::ceil(sleepEndUs - e)), timer.clock());
    }  // else: the spin to the tick, watching for a frame on each turn
    e = timer.elapsedUs();
  }
  timer.endWait(e);
}

}  // namespace portrelay
