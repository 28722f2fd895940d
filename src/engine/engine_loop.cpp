// The engine thread: search for a game, attach, and run one motion cycle every 2 ms.
#include "engine/live_value.h"
#include "engine/motion_engine.h"
#include "platform/scheduling.h"

namespace portrelay {

namespace {
constexpr int kMaxFailedReads = 1000;     // about 2 s without a sample: the game is lost
constexpr int kMaxUnchangedCycles = 250;  // about 0.5 s of frozen data: hold the outputs
}  // namespace

void MotionEngine::resetEngine() {
  games.detachGame();
  attached.exchange(0);
  restartFade();
  outputSuspended.exchange(1);
  failedReads.store(0, std::memory_order_relaxed);
  unchangedCycles.store(0, std::memory_order_relaxed);
  airWeight.store(1.0, std::memory_order_relaxed);
  groundWeight.store(0.0, std::memory_order_relaxed);
  activeProfile.store(0, std::memory_order_relaxed);
  fan.pause();
}

void MotionEngine::engineLoop() {
  platform::requestMillisecondTimer();
  platform::raiseProcessPriority();
  platform::raiseThreadPriority();
  loopTimer.setPreciseMode(1);
  resetEngine();
  games.clearFlags();
  loopTimer.markInterval();

  while (running.load(std::memory_order_relaxed) != 0) {
    if (attached.load(std::memory_order_relaxed) == 0) {
      if (games.detectGame() && games.attachGame()) {
        attached.exchange(1);
        loopTimer.markInterval();
        outputSuspended.exchange(0);
      }
      sleepMilliseconds(1);
      continue;
    }
    if (motionSystemReady.load(std::memory_order_relaxed) == 0) {
      sleepMilliseconds(1);
      sleepMilliseconds(1);
      continue;
    }
    if (games.readSample()) {
      failedReads.store(0, std::memory_order_relaxed);
    } else {
      failedReads.fetch_add(1, std::memory_order_relaxed);
    }
    if (unchangedCycles.load(std::memory_order_relaxed) > kMaxUnchangedCycles) restartFade();
    if (failedReads.load(std::memory_order_relaxed) > kMaxFailedReads) {
      resetEngine();
      continue;
    }
    runCycle();
    loopTimer.wait();
    sleepMilliseconds(1);
  }
  attached.exchange(0);
  fan.stop();
}

// Steps 6 to 10 of a Running cycle: compute, watch for frozen data, fade, send.
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
  if (outputSuspended.load(std::memory_order_relaxed) == 0) sendOutput();
}

}  // namespace portrelay
