// The engine thread: search for a game, attach, and run one motion cycle every 2 ms.
#include <cstring>
#include <exception>
#include <string>

#include "engine/live_value.h"
#include "engine/motion_engine.h"
#include "log/console.h"
#include "platform/scheduling.h"

namespace portrelay {

namespace {
constexpr int kMaxFailedReads = 1000;     // about 2 s without a sample: the game is lost
constexpr int kMaxUnchangedCycles = 250;  // about 0.5 s of frozen data: hold the outputs
}  // namespace

void MotionEngine::resetEngine() {
  // Output is suspended before the game is let go: a host that sees the
  // engine detached also sees its output suspended, never the two apart.
  outputSuspended_.exchange(1);
  games_.detachGame();
  openPoseSection();
  attached_.exchange(0);
  restartFade();
  failedReads_.store(0, std::memory_order_relaxed);
  unchangedCycles_.store(0, std::memory_order_relaxed);
  airWeight_.store(1.0, std::memory_order_relaxed);
  groundWeight_.store(0.0, std::memory_order_relaxed);
  activeProfile_.store(0, std::memory_order_relaxed);
  fan_.pause();
  pauseCycling();
}

void MotionEngine::pauseCycling() {
  if (!cycling_) return;
  cycling_ = false;
  loopTimer_.clear();
}

void MotionEngine::engineLoop() {
  platform::requestMillisecondTimer();
  platform::raiseProcessPriority();
  platform::raiseThreadPriority();
  loopTimer_.setPreciseMode(1);
  cycleStalls_.reset();
  cycling_ = true;  // so that the reset below clears whatever the timer held
  try {
    resetEngine();
    games_.clearFlags();
  } catch (...) {
    recoverFromFault(std::current_exception());
  }

  while (running_.load(std::memory_order_relaxed) != 0) {
    try {
      loopIteration();
    } catch (...) {
      recoverFromFault(std::current_exception());
    }
  }
  attached_.exchange(0);
  try {
    fan_.stop();
  } catch (...) {
  }
  loopEnded_.store(true, std::memory_order_release);
}

void MotionEngine::loopIteration() {
  if (attached_.load(std::memory_order_relaxed) == 0) {
    pauseCycling();
    if (games_.detectGame(&running_) && games_.attachGame()) {
      attached_.exchange(1);
      outputSuspended_.exchange(0);
    }
    waitSendingPark(1);
    return;
  }
  if (games_.attachedGameGone()) {  // its process ended: let go (fan to 0, output suspended)
    resetEngine();
    return;
  }
  if (motionSystemReady_.load(std::memory_order_relaxed) == 0) {
    pauseCycling();
    sleepMilliseconds(1, loopTimer_.clock());
    sleepMilliseconds(1, loopTimer_.clock());
    return;
  }
  if (!cycling_) {
    // Running begins (again): the first interval is measured from here, so
    // the searching or not-ready stretch before it never feeds the fade, the
    // cycle-length getter or the coarse wait's carry.
    loopTimer_.restart();
    cycling_ = true;
  }
  if (games_.readSample()) {
    failedReads_.store(0, std::memory_order_relaxed);
  } else {
    failedReads_.fetch_add(1, std::memory_order_relaxed);
  }
  if (unchangedCycles_.load(std::memory_order_relaxed) > kMaxUnchangedCycles) restartFade();
  if (failedReads_.load(std::memory_order_relaxed) > kMaxFailedReads) {
    resetEngine();
    return;
  }
  runCycle();
  loopTimer_.wait();
  cycleStalls_.record(loopTimer_.lastIntervalMs(), loopTimer_.clock().milliseconds());
  sleepMilliseconds(1, loopTimer_.clock());
}

// An exception inside a cycle (a reader, a filter, the rig link) must neither
// end the host process nor leave the rig on a half-computed frame: one line is
// printed, the engine resets (output suspended, game detached) and searches again.
void MotionEngine::recoverFromFault(std::exception_ptr fault) noexcept {
  try {
    std::string what = "unknown exception";
    try {
      std::rethrow_exception(fault);
    } catch (const std::exception& e) {
      what = e.what();
    } catch (...) {
    }
    const std::wstring text(what.begin(), what.end());  // diagnostics: bytes widened as they are
    printConsole(L"Engine cycle failed (%ls); resetting the engine\n", text.c_str());
  } catch (...) {
  }
  try {
    resetEngine();
  } catch (...) {
    attached_.exchange(0);
    outputSuspended_.exchange(1);
    pauseCycling();
  }
  sleepMilliseconds(1, loopTimer_.clock());
}

// Steps 6 to 10 of a Running cycle: compute, watch for frozen data, fade,
// record, send.
void MotionEngine::runCycle() {
  selectProfile();

  // Frozen-data watch over game-data values 0..22 (NaN never compares equal).
  const double* data = games_.record().data;
  bool allUnchanged = true;
  for (int i = 0; i < kCueSlotCount; ++i) {
    if (!(data[i] == previousData_[i])) allUnchanged = false;
    previousData_[i] = data[i];
  }
  if (allUnchanged) {
    unchangedCycles_.fetch_add(1, std::memory_order_relaxed);
  } else {
    unchangedCycles_.store(0, std::memory_order_relaxed);
  }
  stepFade();
  recordSnapshots();
  // A park moves the rig to neutral also while output is suspended.
  const bool sending = outputSuspended_.load(std::memory_order_relaxed) == 0 || park_.wanted();
  if (sending) sendOutput();
  recordFrameSnapshot(sending);
}

}  // namespace portrelay
