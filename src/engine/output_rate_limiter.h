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
  // 5 units/s: 0.01 per frame, 1/200 of a +-1 travel. Every gamesim lap under
  // the shipped profiles needs less (see the measurement in bench/), and a
  // full-travel move still takes 0.4 s, quick enough to park within 500 ms
  // from half travel.
  static constexpr double kDefaultAxisUnitsPerSecond = 5.0;

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
