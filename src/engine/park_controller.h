// Park: every channel of the motion frame ramps from the frame last sent to
// neutral (0) within a set time, then stays there until the host releases it.
#pragma once
#include <array>
#include <atomic>
#include <cstdint>

#include "engine/output_rate_limiter.h"

namespace portrelay {

// The channels a park moves: the rate-limited ones, then the fan value.
inline constexpr int kParkChannels = kRateLimitedChannels + 1;
inline constexpr int kFanChannel = kRateLimitedChannels;
using ParkValues = std::array<double, kParkChannels>;

class ParkController {
 public:
  static constexpr int32_t kMinDurationMs = 500;
  static constexpr int32_t kMaxDurationMs = 10000;
  enum Status : int32_t { kNotParked = 0, kMoving = 1, kParked = 2 };

  // Any thread. durationMs > 0 asks for a park within that time (clamped to
  // 500..10000 ms; a park already under way restarts its ramp from where the
  // rig is); 0 or less releases it.
  void request(int32_t durationMs);
  Status status() const { return static_cast<Status>(status_.load(std::memory_order_relaxed)); }
  // Any thread: a park is asked for or under way (frames must flow).
  bool wanted() const { return requestedMs_.load(std::memory_order_relaxed) > 0; }

  // Engine thread, once per frame. Takes up a new request; while parking
  // replaces `values` by the ramp that starts at `lastSent` and reaches 0
  // after the requested time (elapsedMs counts the time since the frame
  // before). Returns true when a park was released by this call.
  bool shape(ParkValues& values, const ParkValues& lastSent, double elapsedMs);
  // Engine thread, after the frame was sent: parked once it is all zero.
  void frameSent(const ParkValues& sent);

 private:
  std::atomic<int32_t> requestedMs_{0};
  std::atomic<uint32_t> requests_{0};
  std::atomic<int32_t> status_{kNotParked};
  // Engine thread only.
  uint32_t requestsSeen_ = 0;
  bool active_ = false;
  double durationMs_ = kMinDurationMs;
  double progress_ = 0.0;  // 0 at the start of the ramp, 1 at neutral
  ParkValues start_{};
};

}  // namespace portrelay
