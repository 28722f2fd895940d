// While a game is attached, asks about once a second whether the process its
// detection looked for still runs. The question is a process-list query (a
// ToolHelp snapshot, or a walk over /proc) that takes milliseconds, so it runs
// on a thread of its own; the engine cycle only reads the answer, an atomic.
//
// Thread start and end follow the engine thread: the engine starts the watch
// with its own thread and stops it with it.
#pragma once
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include "sources/game_reader.h"

namespace portrelay {

// About once a second: a game that exits is let go within a second and a
// query, and the query's cost stays negligible.
inline constexpr std::chrono::milliseconds kProcessCheckInterval{1000};

class ProcessWatch {
 public:
  ProcessWatch() = default;
  ~ProcessWatch();
  ProcessWatch(const ProcessWatch&) = delete;
  ProcessWatch& operator=(const ProcessWatch&) = delete;

  // Host side: starts the watch's thread (true when it runs), and stops and
  // joins it.
  bool start();
  void stop();
  // At library unload: asks the thread to end and waits at most `grace` for
  // it, never joining it. True when it has ended.
  bool endWithin(std::chrono::milliseconds grace) noexcept;

  // Engine thread: watch the attached game's reader (null: nothing attached).
  // The reader must outlive the watch.
  void watch(const GameReader* reader);
  // Engine thread, once per cycle: the watched game's process was missing at
  // the last check.
  bool gone() const {
    return reader_.load(std::memory_order_acquire) != nullptr &&
           goneGeneration_.load(std::memory_order_acquire) == generation_.load(std::memory_order_acquire);
  }

 private:
  void run();

  std::atomic<const GameReader*> reader_{nullptr};
  // Each watch() starts a new generation, so an answer about an earlier game
  // never counts for the one attached now.
  std::atomic<uint32_t> generation_{0};
  std::atomic<uint32_t> goneGeneration_{UINT32_MAX};
  std::atomic<bool> stopRequested_{false};
  std::atomic<bool> ended_{true};
  std::mutex wakeMutex_;
  std::condition_variable wake_;
  std::thread thread_;
};

}  // namespace portrelay
