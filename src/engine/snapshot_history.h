// Bounded histories of per-cycle records that the host drains with one call.
//
// The engine thread appends one record per Running cycle under the history
// lock. A drain only swaps the filled buffer for an empty spare under that
// lock (constant time), then allocates the host's array and copies with the
// lock released, so the engine never waits for the host's allocation or copy.
// Both buffers are allocated once: a host that never drains costs no memory
// beyond them.
#pragma once
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>

#include "engine/cue_tables.h"
#include "common/sample_record.h"

namespace portrelay {

inline constexpr int kSnapshotHistoryLength = 150;  // 0.3 s at 500 Hz

// Value i: airCues[i] for the belt components and effect slots (11..20),
// outputCues[i] for every other slot, as they stand after the fade.
struct CalculationSnapshot {
  double values[kCueSlotCount];
};
// Game data 0..42 of a cycle, with the belt sum at index 42.
struct AccelerationSnapshot {
  double values[kGameDataCount];
};
// What a cycle sent: its time in seconds on the monotonic performance counter,
// the attached game's id, and the frame's six axes, belt and fan values as
// sent (all NaN in a cycle that sent no frame).
inline constexpr int kFrameSnapshotValues = 10;
struct FrameSnapshot {
  double values[kFrameSnapshotValues];
};
static_assert(sizeof(CalculationSnapshot) == 184 && sizeof(AccelerationSnapshot) == 344 &&
              sizeof(FrameSnapshot) == 80);

template <typename Record>
class SnapshotHistory {
 public:
  SnapshotHistory() : filling_(std::make_unique<Ring>()), spare_(std::make_unique<Ring>()) {}

  // Engine thread: appends, dropping the oldest record when full.
  void append(const Record& record) {
    std::lock_guard lock(historyLock_);
    filling_->append(record);
  }

  // Host thread: every record held, oldest first, in a new array the caller
  // releases with releaseDrained; *count gets the number (0 and null when
  // empty or when the array cannot be allocated; a null count is ignored).
  Record* drain(int32_t* count) {
    std::lock_guard drainLock(drainLock_);  // one drain at a time owns the spare
    {
      std::lock_guard lock(historyLock_);
      filling_.swap(spare_);
    }
    Ring& drained = *spare_;
    const int n = drained.count;
    Record* out = n == 0 ? nullptr : static_cast<Record*>(std::malloc(sizeof(Record) * static_cast<size_t>(n)));
    if (out != nullptr) {
      for (int i = 0; i < n; ++i)
        std::memcpy(&out[i], &drained.records[static_cast<size_t>((drained.oldest + i) % kSnapshotHistoryLength)],
                    sizeof(Record));
    }
    drained.clear();
    if (count != nullptr) *count = out != nullptr ? n : 0;
    return out;
  }

  // Number of records held (tests).
  int size() {
    std::lock_guard lock(historyLock_);
    return filling_->count;
  }

 private:
  struct Ring {
    std::array<Record, kSnapshotHistoryLength> records;
    int oldest = 0;
    int count = 0;
    void append(const Record& record) {
      if (count == kSnapshotHistoryLength) {
        records[static_cast<size_t>(oldest)] = record;
        oldest = (oldest + 1) % kSnapshotHistoryLength;
      } else {
        records[static_cast<size_t>((oldest + count) % kSnapshotHistoryLength)] = record;
        ++count;
      }
    }
    void clear() {
      oldest = 0;
      count = 0;
    }
  };

  std::mutex historyLock_;  // engine append and the swap of a drain
  std::mutex drainLock_;    // host side only
  std::unique_ptr<Ring> filling_;
  std::unique_ptr<Ring> spare_;
};

// Releases an array handed out by a drain (either kind); null is accepted.
inline void releaseDrained(void* records) { std::free(records); }

}  // namespace portrelay
