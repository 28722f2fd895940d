// The last stage of every motion frame: each channel moves at most a set
// distance from the frame before, whatever happened upstream (a stalled cycle,
// a jump in the game's data, a limit changed on a moving rig, output resumed
// after a pause).
#pragma once
#include <array>
#include <atomic>
#include <cstdint>

namespace portrelay {

// Channels 0..5 are the rig axes (sway, surge, heave, yaw, roll, pitch), in
// the units of the outputs; channel 6 is the belt value.
inline constexpr int kRateLimitedChannels = 7;
inline constexpr int kBeltChannel = 6;

class OutputRateLimiter {
 public:
  // The step is counted per frame at the engine's 2-ms period, never per
  // elapsed time: a frame after a stall moves no further than any other.
  static constexpr double kFramePeriodSeconds = 0.002;
  // 20 units/s: 0.04 per frame, 1/50 of a +-1 travel. The road bumps of a
  // gamesim lap reach the car profile's heave (a high-pass) as steps of up to
  // 0.046 per frame on a loaded machine, which 20 units/s changes by at most
  // 0.4 % of the range (15 units/s: 1 %); a jump of a whole +-1 travel still
  // takes 50 frames (100 ms) instead of one.
  static constexpr double kDefaultAxisUnitsPerSecond = 20.0;

  OutputRateLimiter();

  // Any thread. A positive finite rate in units per second limits the
  // channel; 0 lets it move freely. False (nothing stored) for other values
  // or channels.
  bool setLimit(int channel, double unitsPerSecond);
  double limit(int channel) const;

  // Engine thread: moves each value toward its target by at most the
  // channel's step and remembers it as the frame sent.
  void apply(std::array<double, kRateLimitedChannels>& values);
  const std::array<double, kRateLimitedChannels>& lastSent() const { return last_; }

 private:
  std::array<std::atomic<double>, kRateLimitedChannels> unitsPerSecond_;
  std::array<double, kRateLimitedChannels> last_{};
};

}  // namespace portrelay
