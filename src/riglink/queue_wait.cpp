#include "riglink/queue_wait.h"

#include "platform/clock.h"

namespace portrelay {

void QueueWaitHistogram::recordQueuedSince(int64_t queuedAt) noexcept {
  static const double ticksPerNs = static_cast<double>(platform::performanceFrequency()) / 1e9;
  record(static_cast<int64_t>(static_cast<double>(platform::performanceCounter() - queuedAt) / ticksPerNs));
}

void QueueWaitHistogram::record(int64_t waitNs) noexcept {
  if (waitNs < 0) waitNs = 0;
  const int64_t bin = waitNs / kBinNs;
  const size_t index = bin >= static_cast<int64_t>(kBins) ? kBins - 1 : static_cast<size_t>(bin);
  bins_[index].fetch_add(1, std::memory_order_relaxed);
  int64_t longest = maxNs_.load(std::memory_order_relaxed);
  while (waitNs > longest && !maxNs_.compare_exchange_weak(longest, waitNs, std::memory_order_relaxed)) {
  }
}

uint64_t QueueWaitHistogram::count() const noexcept {
  uint64_t total = 0;
  for (const auto& bin : bins_) total += bin.load(std::memory_order_relaxed);
  return total;
}

double QueueWaitHistogram::quantileMs(double q) const noexcept {
  const uint64_t total = count();
  if (total == 0) return 0.0;
  if (q < 0.0) q = 0.0;
  if (q > 1.0) q = 1.0;
  // The smallest step holding at least ceil(q * total) of the waits.
  uint64_t rank = static_cast<uint64_t>(q * static_cast<double>(total));
  if (static_cast<double>(rank) < q * static_cast<double>(total)) ++rank;
  if (rank == 0) rank = 1;
  uint64_t seen = 0;
  for (size_t i = 0; i < kBins; ++i) {
    seen += bins_[i].load(std::memory_order_relaxed);
    if (seen >= rank) return static_cast<double>((static_cast<int64_t>(i) + 1) * kBinNs) / 1e6;
  }
  return maxMs();
}

double QueueWaitHistogram::maxMs() const noexcept {
  return static_cast<double>(maxNs_.load(std::memory_order_relaxed)) / 1e6;
}

void QueueWaitHistogram::clear() noexcept {
  for (auto& bin : bins_) bin.store(0, std::memory_order_relaxed);
  maxNs_.store(0, std::memory_order_relaxed);
}

}  // namespace portrelay
