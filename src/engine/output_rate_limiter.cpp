#include "engine/output_rate_limiter.h"

#include <cmath>

namespace portrelay {

OutputRateLimiter::OutputRateLimiter() {
  for (int i = 0; i < kRateLimitedChannels; ++i)
    unitsPerSecond_[static_cast<size_t>(i)].store(i == kBeltChannel ? 0.0 : kDefaultAxisUnitsPerSecond,
                                                  std::memory_order_relaxed);
}

bool OutputRateLimiter::setLimit(int channel, double unitsPerSecond) {
  if (static_cast<unsigned>(channel) >= static_cast<unsigned>(kRateLimitedChannels)) return false;
  if (!std::isfinite(unitsPerSecond) || unitsPerSecond < 0.0) return false;
  unitsPerSecond_[static_cast<size_t>(channel)].store(unitsPerSecond, std::memory_order_relaxed);
  return true;
}

double OutputRateLimiter::limit(int channel) const {
  if (static_cast<unsigned>(channel) >= static_cast<unsigned>(kRateLimitedChannels)) return 0.0;
  return unitsPerSecond_[static_cast<size_t>(channel)].load(std::memory_order_relaxed);
}

void OutputRateLimiter::apply(std::array<double, kRateLimitedChannels>& values) {
  for (size_t i = 0; i < values.size(); ++i) {
    const double rate = unitsPerSecond_[i].load(std::memory_order_relaxed);
    double& value = values[i];
    if (std::isnan(value)) value = last_[i];  // nothing new to move to
    if (rate > 0.0) {
      const double step = rate * kFramePeriodSeconds;
      if (value > last_[i] + step) value = last_[i] + step;
      if (value < last_[i] - step) value = last_[i] - step;
    }
    last_[i] = value;
  }
}

}  // namespace portrelay
