// Writes samples of a lap into a game at a chosen rate, on a thread of its own.
#pragma once
#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>

#include "gamesim/game_sim.h"
#include "gamesim/lap_motion.h"

namespace gamesim {

class SimulationRunner {
 public:
  SimulationRunner(GameSim& game, double rateHz) : game_(game), rateHz_(rateHz) {}
  ~SimulationRunner() { stop(); }
  SimulationRunner(const SimulationRunner&) = delete;
  SimulationRunner& operator=(const SimulationRunner&) = delete;

  void start();
  void stop();
  uint64_t samplesWritten() const { return samples_.load(std::memory_order_relaxed); }
  // The moment of lap time 0 (set by start): the sample written at lap time t
  // was written at begin() + t.
  std::chrono::steady_clock::time_point begin() const { return begin_; }

 private:
  void run();

  GameSim& game_;
  double rateHz_;
  LapMotion motion_;
  std::chrono::steady_clock::time_point begin_{};
  std::thread thread_;
  std::atomic<bool> running_{false};
  std::atomic<uint64_t> samples_{0};
};

}  // namespace gamesim
