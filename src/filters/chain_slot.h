// One profile slot's filter chain: host threads replace it while the engine
// thread evaluates it.
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "filters/filter_sys.h"

namespace portrelay {

// The evaluating side never blocks, spins or allocates: it registers as a
// reader (one atomic add on one of two counters), loads the head pointer,
// evaluates, and deregisters. Being registered is its reference to the chain:
// the replacing thread swaps the pointer, then waits until every reader that
// registered before the swap has left, and only then drops the old chain, so
// an old chain is always freed on the replacing (host) thread and never under
// the evaluator's feet. New readers register on the other counter, so the
// replacing thread never waits for more than the evaluations already running.
//
// (std::atomic<std::shared_ptr> would do the swap too, but the one in
// libstdc++ 12 ends its load with a relaxed unlock, which ThreadSanitizer
// reports as a race against the next store, and it would let the engine thread
// drop the last reference and free the old chain in the middle of a cycle.)
class ChainSlot {
 public:
  ChainSlot() = default;
  ChainSlot(const ChainSlot&) = delete;
  ChainSlot& operator=(const ChainSlot&) = delete;

  // Host threads: installs `chain` and returns once no evaluation can still
  // see the previous chain, which is released on the calling thread.
  void replace(std::shared_ptr<FilterSys> chain);

  // Host threads: a reference to the chain now installed (may be empty).
  std::shared_ptr<FilterSys> chain() const;

  // Evaluating thread (one at a time per slot): evaluateChain(head, input,
  // 1, 1, 1); 0.0 for an empty slot.
  double evaluate(double input) const noexcept;

  // Any thread: whether the installed chain is valid.
  bool valid() const noexcept;

 private:
  class ReadGuard;

  mutable std::mutex writerLock_;      // serialises replacing threads
  std::shared_ptr<FilterSys> owner_;   // guarded by writerLock_
  std::atomic<FilterSys*> current_{nullptr};
  std::atomic<uint32_t> phase_{0};  // its low bit picks the counter new readers use
  mutable std::atomic<uint32_t> readers_[2] = {0, 0};
};

}  // namespace portrelay
