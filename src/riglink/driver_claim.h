// One copy of the library at a time drives the rig in a process. A process
// may load the library twice (a second file, or the same file under another
// path); each copy then has its own engine and link, and two of them running
// at once would both queue motion for the rig and both write the pose and
// relay sections. The engine thread and the link's thread bodies of a copy
// hold this claim while they run; a second copy's start finds it held by
// another copy, prints why and does not run.
//
// The claim is a word in a small named section private to the process (its
// name holds the process id), set by compare-and-swap to the holding copy's
// token; the last holder of a copy clears it and closes the section.
#pragma once
#include <cstdint>
#include <mutex>

#include "platform/shared_memory.h"

namespace portrelay {

class DriverClaim {
 public:
  // This copy's claim.
  static DriverClaim& instance();

  // True when this copy holds the claim now (it may already have held it);
  // false, with one diagnostic line, when another copy holds it.
  bool acquire();
  // Gives back one acquire; the last one clears the claim.
  void release();

 private:
  std::mutex mutex_;
  int holders_ = 0;
  platform::SharedMemory memory_;
  platform::SharedView view_;
};

// Acquires the claim for a scope; released at its end when it was acquired.
class DriverClaimScope {
 public:
  DriverClaimScope() : held_(DriverClaim::instance().acquire()) {}
  ~DriverClaimScope() {
    if (held_) DriverClaim::instance().release();
  }
  DriverClaimScope(const DriverClaimScope&) = delete;
  DriverClaimScope& operator=(const DriverClaimScope&) = delete;
  bool held() const { return held_; }

 private:
  bool held_;
};

}  // namespace portrelay
