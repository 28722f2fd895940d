#include "filters/noise_layer.h"

#include <cmath>

namespace portrelay {

float UniformSignedFloat::fromOutput(uint32_t u) {
  float r = static_cast<float>(u) * 0x1p-32f;
  if (r >= 1.0f) r = std::nextafter(1.0f, 0.0f);
  return (1.0f - (-1.0f)) * r + (-1.0f);
}

uint32_t noiseSeed(float seedArgument) {
  if (!std::isfinite(seedArgument)) return 0;
  // Reduce modulo 2^32 in floating point: exact for every float, and the same
  // as converting through a 64-bit integer wherever that conversion exists.
  const double truncated = std::trunc(static_cast<double>(seedArgument));
  double low = std::fmod(truncated, 4294967296.0);  // exact, sign of truncated
  if (low < 0.0) low += 4294967296.0;
  return static_cast<uint32_t>(low);
}

NoiseLayer::NoiseLayer(float amplitudeArgument, float periodArgument, float seedArgument)
    : amplitude(amplitudeArgument), period(periodArgument), generator(noiseSeed(seedArgument)) {
  currentTarget = distribution(generator);
}

float NoiseLayer::step() {
  if (!(period > 0.0f)) return 0.0f;
  elapsed = elapsed + 2.0f;
  if (elapsed >= period) {
    // One subtraction for periods of 2 ms and more; shorter periods wrap the
    // whole way, so the interpolation never runs past its targets.
    elapsed = elapsed - period;
    if (elapsed >= period) elapsed = std::fmod(elapsed, period);
    previousTarget = currentTarget;
    currentTarget = distribution(generator);
  }
  const float t = elapsed / period;
  return ((1.0f - t) * previousTarget + t * currentTarget) * amplitude;
}

}  // namespace portrelay
