#include "filters/chain_slot.h"

#include <thread>
#include <utility>

#include "filters/chain_evaluation.h"

namespace portrelay {

// Registration of one reader for the duration of a scope. The order matters:
// the reader registers before it loads the pointer and the writer swaps before
// it looks at the registrations (all sequentially consistent), so a counter
// the writer sees at zero holds no reader of the old pointer.
class ChainSlot::ReadGuard {
 public:
  explicit ReadGuard(const ChainSlot& slot)
      : counter_(slot.readers_[slot.phase_.load(std::memory_order_seq_cst) & 1]) {
    counter_.fetch_add(1, std::memory_order_seq_cst);
    head_ = slot.current_.load(std::memory_order_seq_cst);
  }
  ~ReadGuard() { counter_.fetch_sub(1, std::memory_order_release); }
  ReadGuard(const ReadGuard&) = delete;
  ReadGuard& operator=(const ReadGuard&) = delete;

  FilterSys* head() const { return head_; }

 private:
  std::atomic<uint32_t>& counter_;
  FilterSys* head_ = nullptr;
};

void ChainSlot::replace(std::shared_ptr<FilterSys> chain) {
  std::shared_ptr<FilterSys> previous;
  {
    std::lock_guard lock(writerLock_);
    previous = std::exchange(owner_, std::move(chain));
    current_.exchange(owner_.get(), std::memory_order_seq_cst);
    // Drain both counters in turn, each after pointing new readers at the
    // other one. Two rounds, because a reader that picked its counter just
    // before a flip may register on it afterwards; the second round waits for
    // it too. Only evaluations already under way are waited for (microseconds).
    for (int round = 0; round < 2; ++round) {
      const uint32_t draining = phase_.fetch_add(1, std::memory_order_seq_cst) & 1;
      while (readers_[draining].load(std::memory_order_seq_cst) != 0) std::this_thread::yield();
    }
  }
  // `previous` is released here, on this thread.
}

std::shared_ptr<FilterSys> ChainSlot::chain() const {
  std::lock_guard lock(writerLock_);
  return owner_;
}

double ChainSlot::evaluate(double input) const noexcept {
  const ReadGuard guard(*this);
  if (guard.head() == nullptr) return 0.0;
  return evaluateChain(*guard.head(), input, 1.0, 1.0, 1.0);
}

bool ChainSlot::valid() const noexcept {
  const ReadGuard guard(*this);
  return guard.head() != nullptr && guard.head()->valid.load(std::memory_order_acquire);
}

}  // namespace portrelay
