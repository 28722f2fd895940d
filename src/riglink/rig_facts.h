// What the link has learnt about the rig and how well it reaches it, kept for
// a host that shows it (getRigLinkStatus): the identified port and identity,
// the last level report, and the counts of links lost and motion frames
// dropped. Written by the relay, the scan, the listener and the engine
// thread; each fact is one atomic word, read without a lock.
#pragma once
#include <atomic>
#include <cstdint>
#include <limits>

namespace portrelay {

struct RigFacts {
  std::atomic<int32_t> comNumber{0};  // the identified serial port; 0 while none is
  std::atomic<int32_t> identity{0};   // the value of the rig's last identity reply (1, 2); 0 before one
  std::atomic<int32_t> level{-1};     // the last level report since that identification; -1 before one
  std::atomic<int32_t> linksLost{0};
  std::atomic<int32_t> framesDropped{0};

  void identified(int32_t port, int32_t reply) {
    level.store(-1, std::memory_order_relaxed);  // a rig just found has not reported yet
    identity.store(reply, std::memory_order_relaxed);
    comNumber.store(port, std::memory_order_relaxed);
  }
  void portClosed() { comNumber.store(0, std::memory_order_relaxed); }
  void linkLost() { countUp(linksLost); }
  void frameDropped() { countUp(framesDropped); }

 private:
  // Counters stop at the largest int32 rather than wrap to negative.
  static void countUp(std::atomic<int32_t>& counter) {
    if (counter.load(std::memory_order_relaxed) < std::numeric_limits<int32_t>::max())
      counter.fetch_add(1, std::memory_order_relaxed);
  }
};

}  // namespace portrelay
