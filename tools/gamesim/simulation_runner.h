// Writes samples of a lap into a game at a chosen rate, on a thread of its own.
#pragma once
#include <atomic>
#include <chrono>
#include <cstdint>
#include <limits>
#include <thread>

#include "gamesim/game_sim.h"
#include "gamesim/lap_motion.h"

namespace gamesim {

class SimulationRunner {
 public:
  // With `lapSeconds` the runner writes the lap from 0 to that time and then
  // ends by itself: a sample is never later than the end, however late the
  // thread runs (a stalled process resuming after the end writes nothing more).
  SimulationRunner(GameSim& game, double rateHz, double lapSeconds = std::numeric_limits<double>::infinity())
      : game_(game), rateHz_(rateHz), lapSeconds_(lapSeconds) {}
  ~SimulationRunner() { stop(); }
  SimulationRunner(const SimulationRunner&) = delete;
  SimulationRunner& operator=(const SimulationRunner&) = delete;

  void start();
  void stop();
  uint64_t samplesWritten() const { return samples_.load(std::memory_order_relaxed); }
  // The lap has reached its end (never without `lapSeconds`).
  bool finished() const { return finished_.load(); }
  // The moment of lap time 0 (set by start): the sample written at lap time t
  // was written at begin() + t.
  std::chrono::steady_clock::time_point begin() const { return begin_; }

 private:
  void run();

  GameSim& game_;
  double rateHz_;
  double lapSeconds_;
  LapMotion motion_;
  std::chrono::steady_clock::time_point begin_{};
  std::thread thread_;
  std::atomic<bool> running_{false};
  std::atomic<uint64_t> samples_{0};
  std::atomic<bool> finished_{false};
};

}  // namespace gamesim
