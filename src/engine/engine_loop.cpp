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
  games.detachGame();
  openPoseSection();
  attached.exchange(0);
  restartFade();
  outputSuspended.exchange(1);
  failedReads.store(0, std::memory_order_relaxed);
  unchangedCycles.store(0, std::memory_order_relaxed);
  airWeight.store(1.0, std::memory_order_relaxed);
  groundWeight.store(0.0, std::memory_order_relaxed);
  activeProfile.store(0, std::memory_order_relaxed);
  fan.pause();
  pauseCycling();
}

void MotionEngine::pauseCycling() {
  if (!cycling_) return;
  cycling_ = false;
  loopTimer.clear();
}

void MotionEngine::engineLoop() {
  platform::requestMillisecondTimer();
  platform::raiseProcessPriority();
  platform::raiseThreadPriority();
  loopTimer.setPreciseMode(1);
  cycleStalls.reset();
  cycling_ = true;  // so that the reset below clears whatever the timer held
  try {
    resetEngine();
    games.clearFlags();
  } catch (...) {
    recoverFromFault(std::current_exception());
  }

  while (running.load(std::memory_order_relaxed) != 0) {
    try {
      loopIteration();
    } catch (...) {
      recoverFromFault(std::current_exception());
    }
  }
  attached.exchange(0);
  try {
    fan.stop();
  } catch (...) {
  }
  loopEnded_.store(true, std::memory_order_release);
}

void MotionEngine::loopIteration() {
  if (attached.load(std::memory_order_relaxed) == 0) {
    pauseCycling();
    if (games.detectGame(&running) && games.attachGame()) {
      attached.exchange(1);
      outputSuspended.exchange(0);
    }
    waitSendingPark(1);
    return;
  }
  if (games.attachedGameGone()) {  // its process ended: let go (fan to 0, output suspended)
    resetEngine();
    return;
  }
  if (motionSystemReady.load(std::memory_order_relaxed) == 0) {
    pauseCycling();
    sleepMilliseconds(1, loopTimer.clock());
    sleepMilliseconds(1, loopTimer.clock());
    return;
  }
  if (!cycling_) {
    // Running begins (again): the first interval is measured from here, so
    // the searching or not-ready stretch before it never feeds the fade, the
    // cycle-length getter or the coarse wait's carry.
    loopTimer.restart();
    cycling_ = true;
  }
  if (games.readSample()) {
    failedReads.store(0, std::memory_order_relaxed);
  } else {
    failedReads.fetch_add(1, std::memory_order_relaxed);
  }
  if (unchangedCycles.load(std::memory_order_relaxed) > kMaxUnchangedCycles) restartFade();
  if (failedReads.load(std::memory_order_relaxed) > kMaxFailedReads) {
    resetEngine();
    return;
  }
  runCycle();
  loopTimer.wait();
  cycleStalls.record(loopTimer.lastIntervalMs(), loopTimer.clock().milliseconds());
  sleepMilliseconds(1, loopTimer.clock());
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
    attached.exchange(0);
    outputSuspended.exchange(1);
    pauseCycling();
  }
  sleepMilliseconds(1, loopTimer.clock());
}

// Steps 6 to 10 of a Running cycle: compute, watch for frozen data, fade,
// record, send.
void MotionEngine::runCycle() {
  selectProfile();

  // Frozen-data watch over game-data values 0..22 (NaN never compares equal).
  const double* data = games.record().data;
  bool allUnchanged = true;
  for (int i = 0; i < kCueSlotCount; ++i) {
    if (!(data[i] == previousData[i])) allUnchanged = false;
    previousData[i] = data[i];
  }
  if (allUnchanged) {
    unchangedCycles.fetch_add(1, std::memory_order_relaxed);
  } else {
    unchangedCycles.store(0, std::memory_order_relaxed);
  }
  stepFade();
  recordSnapshots();
  // A park moves the rig to neutral also while output is suspended.
  const bool sending = outputSuspended.load(std::memory_order_relaxed) == 0 || park.wanted();
  if (sending) sendOutput();
  recordFrameSnapshot(sending);
}

}  // namespace portrelay
