#include "game_writer.h"

#include <chrono>

#include "simulated_rig.h"  // rigsim::monotonicNs
#include "soak_signal.h"

namespace portrelay::soak {

GameWriter::GameWriter(int64_t capacity)
    : capacity_(capacity), written_(new std::atomic<int64_t>[static_cast<size_t>(capacity)]) {
  // Every entry is written now, so the table is resident from the start and
  // does not count as growth later.
  for (int64_t i = 0; i < capacity_; ++i) written_[static_cast<size_t>(i)].store(0, std::memory_order_relaxed);
}

GameWriter::~GameWriter() { stop(); }

bool GameWriter::start() {
  if (!game_.start()) return false;
  running_ = true;
  thread_ = std::thread([this] { run(); });
  return true;
}

void GameWriter::stop() {
  running_ = false;
  if (thread_.joinable()) thread_.join();
  game_.stop();
}

int64_t GameWriter::comeBack() {
  restartedNs_.store(0);
  mode_.store(kRestart);
  for (int i = 0; i < 2000 && running_.load(); ++i) {
    if (const int64_t at = restartedNs_.load(); at != 0) return at;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return 0;
}

int64_t GameWriter::writtenNs(int64_t n) const {
  if (n < 0 || n >= capacity_) return 0;
  return written_[static_cast<size_t>(n)].load(std::memory_order_relaxed);
}

void GameWriter::run() {
  auto next = std::chrono::steady_clock::now();
  int64_t frozen = 0;
  for (int64_t n = 0; running_.load(); ++n) {
    int mode = mode_.load();
    if (mode == kRestart) {
      // The new game replaces the old one's section, as a game started again does.
      game_.stop();
      bool published = false;
      for (int attempt = 0; attempt < 50 && !published; ++attempt) {
        published = game_.start();
        if (!published) std::this_thread::sleep_for(std::chrono::milliseconds(5));
      }
      mode_.store(kLive);
      mode = kLive;
      restartedNs_.store(published ? rigsim::monotonicNs() : -1);
    }
    if (mode == kLive) {
      const int64_t now = rigsim::monotonicNs();
      game_.write(sampleAt(n));
      if (n < capacity_) written_[static_cast<size_t>(n)].store(now, std::memory_order_relaxed);
      frozen = n;
    } else if (mode == kFrozen) {
      game_.write(sampleAt(frozen));
    }
    newest_.store(n, std::memory_order_release);
    next += std::chrono::microseconds(2000);
    std::this_thread::sleep_until(next);
  }
}

}  // namespace portrelay::soak
