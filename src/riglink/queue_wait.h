// How long motion frames waited in a transmit queue, from the engine queueing
// one to a transmit loop taking it for the wire: a histogram in 10-µs steps
// and the longest wait. Written by the transmit loops (one relaxed add per
// frame, no allocation, no lock), read by measuring tools at any time.
#pragma once
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

namespace portrelay {

class QueueWaitHistogram {
 public:
  static constexpr int64_t kBinNs = 10'000;
  // 0 .. 20 ms; longer waits count in the last bin (and in the maximum).
  static constexpr size_t kBins = 2000;

  void record(int64_t waitNs) noexcept;
  // Records the wait of a message queued at this performance-counter reading.
  void recordQueuedSince(int64_t queuedAt) noexcept;
  uint64_t count() const noexcept;
  // The wait that a fraction q (0..1) of the recorded waits do not exceed, in
  // milliseconds: the upper edge of its 10-µs step. 0 when nothing was recorded.
  double quantileMs(double q) const noexcept;
  double maxMs() const noexcept;
  // Starts a new measurement (waits recorded meanwhile may be lost).
  void clear() noexcept;

 private:
  std::array<std::atomic<uint32_t>, kBins> bins_{};
  std::atomic<int64_t> maxNs_{0};
};

}  // namespace portrelay
