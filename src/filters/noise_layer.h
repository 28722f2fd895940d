// Value noise for NOISE nodes: a new random target every `period` ms (at 2 ms
// per step), linearly interpolated, scaled by `amplitude`.
#pragma once
#include <cstdint>
#include <random>

namespace portrelay {

// Uniform single-precision draw in [-1, 1) from one 32-bit generator output:
// r = float(u) * 2^-32, result = 2 * r - 1. When float(u) rounds up to 2^32
// the draw takes the largest float below 1 instead, so 1 is never returned.
struct UniformSignedFloat {
  float operator()(std::mt19937& generator) const { return fromOutput(generator()); }
  static float fromOutput(uint32_t u);
};

// The generator seed for a NOISE seed argument: truncated toward zero, low 32
// bits of the two's-complement integer (0 for infinity or NaN).
uint32_t noiseSeed(float seedArgument);

class NoiseLayer {
 public:
  NoiseLayer(float amplitudeArgument, float periodArgument, float seedArgument);

  // Advances by one 2-ms call and returns the noise to add. A period of 0 or
  // below (or NaN) has no rate to change targets at: the layer stays silent
  // (returns 0) and does not advance, so such a node passes its input.
  float step();

  float amplitude;
  float period;
  float elapsed = 0.0f;
  float previousTarget = 0.0f;
  float currentTarget = 0.0f;
  std::mt19937 generator;
  UniformSignedFloat distribution;
};

}  // namespace portrelay
