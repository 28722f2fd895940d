#include "sources/process_watch.h"

#include <system_error>

namespace portrelay {

ProcessWatch::~ProcessWatch() { stop(); }

bool ProcessWatch::start() {
  if (thread_.joinable()) {
    if (!ended_.load(std::memory_order_acquire)) return true;
    thread_.join();
  }
  stopRequested_.store(false, std::memory_order_relaxed);
  ended_.store(false, std::memory_order_relaxed);
  try {
    thread_ = std::thread([this] { run(); });
  } catch (const std::system_error&) {
    ended_.store(true, std::memory_order_relaxed);
    return false;
  }
  return true;
}

void ProcessWatch::stop() {
  {
    std::lock_guard lock(wakeMutex_);
    stopRequested_.store(true, std::memory_order_relaxed);
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

bool ProcessWatch::endWithin(std::chrono::milliseconds grace) noexcept {
  stopRequested_.store(true, std::memory_order_relaxed);
  wake_.notify_all();
  if (!thread_.joinable()) return true;
  const auto deadline = std::chrono::steady_clock::now() + grace;
  while (!ended_.load(std::memory_order_acquire) && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  thread_.detach();
  return ended_.load(std::memory_order_acquire);
}

void ProcessWatch::watch(const GameReader* reader) {
  reader_.store(reader, std::memory_order_release);
  generation_.fetch_add(1, std::memory_order_acq_rel);
}

void ProcessWatch::run() {
  std::unique_lock lock(wakeMutex_);
  while (!stopRequested_.load(std::memory_order_relaxed)) {
    wake_.wait_for(lock, kProcessCheckInterval, [this] { return stopRequested_.load(std::memory_order_relaxed); });
    if (stopRequested_.load(std::memory_order_relaxed)) break;
    // The generation first: if the engine lets go and attaches again during
    // the query, the answer lands on the old generation and is ignored.
    const uint32_t generation = generation_.load(std::memory_order_acquire);
    const GameReader* reader = reader_.load(std::memory_order_acquire);
    if (reader == nullptr) continue;
    lock.unlock();  // stop() must not wait for the query
    const bool running = reader->gameProcessRunning();
    lock.lock();
    if (!running) goneGeneration_.store(generation, std::memory_order_release);
  }
  lock.unlock();
  ended_.store(true, std::memory_order_release);  // the last touch of this object
}

}  // namespace portrelay
