// The soak's game: a simulated Assetto Corsa written from a thread of its own
// every 2 ms with sampleAt(n), n counting 2-ms steps of game time whether or
// not the game writes (so after a crash the game comes back further on, as a
// real one does). Each sample's write time is kept for the latency and the
// reconnect checks.
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>

#include "gamesim/assetto_corsa_sim.h"

namespace portrelay::soak {

class GameWriter {
 public:
  explicit GameWriter(int64_t capacity);
  ~GameWriter();
  GameWriter(const GameWriter&) = delete;
  GameWriter& operator=(const GameWriter&) = delete;

  bool start();
  void stop();

  // Crash: the game stops writing at once and withdraws nothing.
  void crash() { mode_.store(kCrashed); }
  // The crashed game starts again (a new section, written from a fresh packet
  // count). Returns the time it published again, or 0 when it could not.
  int64_t comeBack();
  // Pause: the game keeps writing, with the values of the moment frozen.
  void freeze() { mode_.store(kFrozen); }
  void unfreeze() { mode_.store(kLive); }

  // The local time sample n was written, 0 when it was not written (crash,
  // pause, or beyond the capacity).
  int64_t writtenNs(int64_t n) const;
  // The newest sample number written (or skipped) so far, -1 before the first.
  int64_t newest() const { return newest_.load(std::memory_order_acquire); }

 private:
  enum : int { kLive, kFrozen, kCrashed, kRestart };
  void run();

  gamesim::AssettoCorsaSim game_;
  int64_t capacity_;
  std::unique_ptr<std::atomic<int64_t>[]> written_;
  std::atomic<int64_t> newest_{-1};
  std::atomic<int> mode_{kLive};
  std::atomic<int64_t> restartedNs_{0};
  std::atomic<bool> running_{false};
  std::thread thread_;
};

}  // namespace portrelay::soak
