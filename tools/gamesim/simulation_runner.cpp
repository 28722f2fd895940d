#include "gamesim/simulation_runner.h"

#include <chrono>

namespace gamesim {

void SimulationRunner::start() {
  if (running_.exchange(true)) return;
  finished_.store(false);
  begin_ = std::chrono::steady_clock::now();
  thread_ = std::thread([this] { run(); });
}

void SimulationRunner::stop() {
  running_.store(false);
  if (thread_.joinable()) thread_.join();
}

void SimulationRunner::run() {
  using clock = std::chrono::steady_clock;
  const auto period = std::chrono::duration_cast<clock::duration>(std::chrono::duration<double>(1.0 / rateHz_));
  const auto begin = begin_;
  auto next = begin;
  while (running_.load(std::memory_order_relaxed)) {
    const double seconds = std::chrono::duration<double>(clock::now() - begin).count();
    if (seconds > lapSeconds_) {
      finished_.store(true);
      return;
    }
    game_.write(motion_.at(seconds));
    samples_.fetch_add(1, std::memory_order_relaxed);
    next += period;
    std::this_thread::sleep_until(next);
  }
}

}  // namespace gamesim
