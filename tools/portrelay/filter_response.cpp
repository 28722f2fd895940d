#include "filter_response.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <set>

#include "platform/processes.h"
#include "tools/platform/dynamic_library.h"

namespace host {
namespace {

#if defined(_WIN32)
constexpr const char* kLabLibrary = "portrelay_lab.dll";
#else
constexpr const char* kLabLibrary = "libportrelay_lab.so";
#endif
constexpr double kCycleMs = 2.0;
constexpr double kStepSeconds = 5.0;
constexpr int kStepPoints = 250;      // what the page draws of the 2500 cycles
constexpr double kLongestSettle = 20.0;
constexpr double kPi = 3.14159265358979323846;

}  // namespace

FilterResponse::FilterResponse() {
  namespace platform = portrelay::platform;
  library_ = std::make_unique<platform::DynamicLibrary>(platform::executableDirectory() + "/" + kLabLibrary);
  if (!library_->loaded()) return;
  chainKinds_ = reinterpret_cast<decltype(chainKinds_)>(library_->symbol("portrelayLab_chainKinds"));
  kindName_ = reinterpret_cast<decltype(kindName_)>(library_->symbol("portrelayLab_kindName"));
  evaluate_ = reinterpret_cast<decltype(evaluate_)>(library_->symbol("portrelayLab_evaluate"));
  if (chainKinds_ == nullptr || kindName_ == nullptr) evaluate_ = nullptr;
}

FilterResponse::~FilterResponse() = default;

bool FilterResponse::compute(const std::string& filter, ChainResponse& response) const {
  if (!available()) return false;
  int32_t kinds[64];
  const int32_t count = chainKinds_(filter.c_str(), kinds, 64);
  if (count < 0) return false;
  static const std::set<std::string> kLinear = {"VALUE", "EMALP", "EMAHP", "MUL", "GAIN"};
  response.linear = count <= 64;
  for (int32_t i = 0; i < std::min<int32_t>(count, 64); ++i) {
    response.kinds.emplace_back(kindName_(kinds[i]));
    if (kLinear.count(response.kinds.back()) == 0) response.linear = false;
  }

  // Step response over the settle window, thinned for drawing; the settle
  // time (output within 1e-4 of its end) sizes the frequency runs.
  const int steps = static_cast<int>(kLongestSettle * 1000.0 / kCycleMs);
  std::vector<double> input(static_cast<size_t>(steps), 1.0), output(static_cast<size_t>(steps));
  if (evaluate_(filter.c_str(), input.data(), steps, kCycleMs, output.data()) < 0) return false;
  const int shown = static_cast<int>(kStepSeconds * 1000.0 / kCycleMs);
  for (int i = 0; i < shown; i += shown / kStepPoints) {
    response.stepTimes.push_back((i + 1) * kCycleMs / 1000.0);
    response.stepValues.push_back(output[static_cast<size_t>(i)]);
  }
  if (!response.linear) return true;
  double largest = 1e-12;
  for (double y : output) largest = std::max(largest, std::abs(y));
  int settled = 0;
  for (int i = 0; i < steps; ++i)
    if (std::abs(output[static_cast<size_t>(i)] - output.back()) > 1e-4 * largest) settled = i + 1;
  const double settle = settled * kCycleMs / 1000.0;

  // Gain and phase: a unit sine run until steady, then fitted over whole
  // periods with y = a sin + b cos + c (normal equations of the least squares).
  for (double f = 0.05; f <= 60.0; f *= 1.4) {
    const double periods = std::max(4.0, std::ceil(2.0 * f));
    const double measure = periods / f;
    const int total = static_cast<int>(std::lround((settle + measure) * 1000.0 / kCycleMs));
    const int window = static_cast<int>(std::lround(measure * 1000.0 / kCycleMs));
    std::vector<double> x(static_cast<size_t>(total)), y(static_cast<size_t>(total));
    for (int i = 0; i < total; ++i) x[static_cast<size_t>(i)] = std::sin(2.0 * kPi * f * i * kCycleMs / 1000.0);
    if (evaluate_(filter.c_str(), x.data(), total, kCycleMs, y.data()) < 0) return false;
    double ss = 0, sc = 0, s1 = 0, cc = 0, c1 = 0, n = 0, sy = 0, cy = 0, y1 = 0;
    for (int i = total - window; i < total; ++i) {
      const double t = 2.0 * kPi * f * i * kCycleMs / 1000.0, s = std::sin(t), c = std::cos(t),
                   v = y[static_cast<size_t>(i)];
      ss += s * s; sc += s * c; s1 += s; cc += c * c; c1 += c; n += 1; sy += s * v; cy += c * v; y1 += v;
    }
    // Cramer's rule on the 3x3 system.
    const double det = ss * (cc * n - c1 * c1) - sc * (sc * n - c1 * s1) + s1 * (sc * c1 - cc * s1);
    if (std::abs(det) < 1e-12) continue;
    const double a = (sy * (cc * n - c1 * c1) - sc * (cy * n - c1 * y1) + s1 * (cy * c1 - cc * y1)) / det;
    const double b = (ss * (cy * n - y1 * c1) - sy * (sc * n - c1 * s1) + s1 * (sc * y1 - cy * s1)) / det;
    response.frequencies.push_back(f);
    response.gains.push_back(std::hypot(a, b));
    response.phases.push_back(std::atan2(b, a) * 180.0 / kPi);
  }
  return true;
}

}  // namespace host
