// What the soak has done and when: which fault is in effect, on which link
// frames are due, when the serial link was made anew and when the game returned.
// The scheduler writes it; the frame checkers and the monitor read it.
#pragma once
#include <algorithm>
#include <cstdint>
#include <mutex>
#include <vector>

namespace portrelay::soak {

enum class Link { none, serial, udp };

inline constexpr int kNoFault = -1;

class Timeline {
 public:
  struct Segment {
    int64_t startNs = 0;
    int fault = kNoFault;  // FaultKind in effect, or kNoFault
    Link frames = Link::none;  // the link on which frames are due without a gap
  };

  Timeline() {
    segments_.reserve(4096);
    reconnects_.reserve(1024);
    returns_.reserve(1024);
    overruns_.reserve(8192);
    segments_.push_back({0, kNoFault, Link::none});
  }

  void enter(int64_t ns, int fault, Link frames) {
    std::lock_guard lock(mutex_);
    segments_.push_back({ns, fault, frames});
  }
  // The serial link was made anew at ns (in order of time).
  void reconnected(int64_t ns) {
    std::lock_guard lock(mutex_);
    reconnects_.push_back(ns);
  }

  // The game published again after a crash.
  void gameReturned(int64_t ns) {
    std::lock_guard lock(mutex_);
    returns_.push_back(ns);
  }
  // The first return after ns (0 when none).
  int64_t firstReturnAfter(int64_t ns) const {
    std::lock_guard lock(mutex_);
    auto it = std::upper_bound(returns_.begin(), returns_.end(), ns);
    return it == returns_.end() ? 0 : *it;
  }

  // An engine or relay cycle over the stall bound ended at ns (in order of time).
  void overrun(int64_t ns) {
    std::lock_guard lock(mutex_);
    overruns_.push_back(ns);
  }
  bool overrunBetween(int64_t from, int64_t to) const {
    std::lock_guard lock(mutex_);
    auto it = std::lower_bound(overruns_.begin(), overruns_.end(), from);
    return it != overruns_.end() && *it <= to;
  }

  Segment at(int64_t ns) const {
    std::lock_guard lock(mutex_);
    return *segmentAt(ns);
  }
  // True when frames were due on `link` for the whole of [from, to].
  bool framesDueThroughout(Link link, int64_t from, int64_t to) const {
    std::lock_guard lock(mutex_);
    for (auto it = segmentAt(from); it != segments_.end() && it->startNs <= to; ++it)
      if (it->frames != link) return false;
    return true;
  }
  // The last reconnect at or before ns (0 when none).
  int64_t lastReconnectBefore(int64_t ns) const {
    std::lock_guard lock(mutex_);
    auto it = std::upper_bound(reconnects_.begin(), reconnects_.end(), ns);
    return it == reconnects_.begin() ? 0 : *std::prev(it);
  }

 private:
  std::vector<Segment>::const_iterator segmentAt(int64_t ns) const {
    auto it = std::upper_bound(segments_.begin(), segments_.end(), ns,
                               [](int64_t t, const Segment& s) { return t < s.startNs; });
    return it == segments_.begin() ? it : std::prev(it);
  }

  mutable std::mutex mutex_;
  std::vector<Segment> segments_;
  std::vector<int64_t> reconnects_;
  std::vector<int64_t> returns_;
  std::vector<int64_t> overruns_;
};

}  // namespace portrelay::soak
