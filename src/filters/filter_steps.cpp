#include "filters/filter_steps.h"

#include <algorithm>
#include <cmath>

namespace portrelay {
namespace {

constexpr double kTwoPi = 6.283185307179586;

// Stores a new memory value narrowed to float, unless it is not finite.
float storeState(float& state, double value) {
  const auto narrowed = static_cast<float>(value);
  if (std::isfinite(narrowed)) state = narrowed;
  return state;
}

// Exponential moving average with a divisor of at least 1 (cycles).
float average(float& state, double x, double divisor) {
  if (std::fabs(divisor) < 1.0) divisor = 1.0;
  return storeState(state, (x - state) / divisor + state);
}

double logistic(double x, double limit, double slope) {
  double L = limit;
  if (std::fabs(L) < 1e-9) L = std::copysign(1e-9, L);
  const double y = std::clamp(slope * x, -1000000.0, 1000000.0);
  const double c = 0.0002 / ((L / 100.0) * (L / 100.0));
  const double E = std::exp(-c * L * y);
  return 2.0 * (L / (E * (L / (L * 0.5) - 1.0) + 1.0) - L * 0.5);
}

// Dynamic low-pass: changes up to the threshold pass, larger jumps are damped
// by pow(excess, exponent) * factor.
double dynamicLowPass(float& state, double x, double threshold, double factor, double exponent) {
  const double deviation = std::fabs(x - state);
  if (deviation > threshold) {
    const double h = std::pow(deviation - threshold, exponent) * factor;
    const double divisor = 1.0 > h ? 1.0 : h;
    return storeState(state, (x - state) / divisor + state);
  }
  storeState(state, x);
  return x;
}

double sineGenerator(float& state, double amplitude, double frequency) {
  float phase = storeState(state, frequency * kTwoPi * 0.002 + state);
  // Wrapped beyond one turn either way, so a long run never loses the
  // phase's precision (a negative frequency turns it downwards).
  if (phase > kTwoPi || phase < -kTwoPi) phase = storeState(state, std::fmod(phase, kTwoPi));
  return static_cast<double>(std::sin(phase)) * amplitude;
}

}  // namespace

double rolloverFold(double x, double bound) {
  if (!std::isfinite(x)) return 0.0;
  const double b = std::fabs(bound);
  if (!(b > 0.0)) return 0.0;
  if (std::isinf(b)) return x;
  const double period = 4.0 * b;
  if (std::fabs(x) >= period) x = std::fmod(x, period);  // exact
  // At most two reflections remain; the limit only guards against rounding.
  for (int i = 0; i < 4 && (x > b || x < -b); ++i) x = x > 0 ? b - (x - b) : -b - (b + x);
  return std::clamp(x, -b, b);
}

double stepNode(FilterSys& node, double x, const ChainScales& scales) {
  const double p1 = node.p1;
  const double p2 = node.p2;
  const double p3 = node.p3;
  const double p4 = node.p4;
  switch (node.kind) {
    case FilterKind::Value:
      return x * scales.valueGain;
    case FilterKind::Emalp:
      return average(node.state, x, p1 * scales.lowPassScale);
    case FilterKind::Emahp:
      return x - average(node.state, x, p1 * scales.highPassScale);
    case FilterKind::Mul:
    case FilterKind::Gain:
      return x * p1;
    case FilterKind::Logistic:
      return logistic(x, p1, p2);
    case FilterKind::Crop: {
      const double m = p2 < x ? p2 : x;
      return p1 > m ? p1 : m;
    }
    case FilterKind::Rollover:
      return rolloverFold(x, p1);
    case FilterKind::Remap:
      if (std::fabs(p2 - p1) > 1e-9) return (x - p1) * ((p4 - p3) / (p2 - p1)) + p3;
      return x;
    case FilterKind::Noise:
      return node.noise ? x + static_cast<double>(node.noise->step()) : x;
    case FilterKind::Bitscale:
      if (std::fabs(p1) < 1e-9 || x < 0.0) return 0.0;
      return std::min(p1, x) / p1 * p2;
    case FilterKind::BitscaleSigned:
      if (std::fabs(p1) < 1e-9) return 0.0;
      return std::min(p1, std::max(-p1, x)) / p1 * p2;
    case FilterKind::Sinus:
      return sineGenerator(node.state, p1, p2);
    case FilterKind::Abs:
      return std::fabs(x);
    case FilterKind::SetValue:
      return p1;
    case FilterKind::Add:
      return x + p1;
    case FilterKind::Spike:
      return dynamicLowPass(node.state, x, p1, p2, p3);
    case FilterKind::Edynlp:
      return dynamicLowPass(node.state, x, p1, p2, 2.0);
    case FilterKind::Ldynlp:
      return dynamicLowPass(node.state, x, p1, p2, 1.0);
  }
  return x;
}

}  // namespace portrelay
