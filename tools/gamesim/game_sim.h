// One simulated game, as seen from outside: it starts (publishes its
// telemetry transport), writes samples of a motion, changes its own state, and
// quits. Each supported game has one class in its own file.
#pragma once
#include <atomic>
#include <cstdint>

#include "gamesim/lap_motion.h"

namespace gamesim {

class GameSim {
 public:
  virtual ~GameSim() = default;
  GameSim() = default;
  GameSim(const GameSim&) = delete;
  GameSim& operator=(const GameSim&) = delete;

  // The game starts publishing; false when its transport cannot be set up.
  virtual bool start() = 0;
  // The game quits and withdraws its transport.
  virtual void stop() = 0;
  // One telemetry sample of the motion. Called from one thread at a time.
  virtual void write(const MotionSample& sample) = 0;

  // The game's own state as one number, taking effect with the next sample;
  // its meaning is the game's (see each class). Any thread.
  void setState(int32_t state) { state_.store(state, std::memory_order_relaxed); }
  int32_t state() const { return state_.load(std::memory_order_relaxed); }

 protected:
  explicit GameSim(int32_t initialState) : state_(initialState) {}

 private:
  std::atomic<int32_t> state_{0};
};

}  // namespace gamesim
