// The filter lab's entry points: the engine's own parser and chain evaluation
// run over a whole input array.
#include "portrelay_lab.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include "filters/chain_evaluation.h"
#include "filters/filter_kind.h"
#include "filters/filter_parser.h"

namespace {

using portrelay::FilterKind;

constexpr double kCycleMs = PORTRELAY_LAB_CYCLE_MS;
// Times are compared with this slack so that sample and cycle times that are
// equal in decimal (3 samples of 2/3 ms against one 2-ms cycle) meet.
constexpr double kTimeSlack = 1e-9;

}  // namespace

extern "C" {

PORTRELAY_LAB_API int32_t portrelayLab_evaluate(const char* filter, const double* input, int32_t count,
                                                double periodMs, double* output) {
  try {
    if (filter == nullptr || count < 0 || (count > 0 && (input == nullptr || output == nullptr)) ||
        !std::isfinite(periodMs) || periodMs <= 0.0)
      return -2;
    auto head = portrelay::parseFilterString(filter);
    if (!head->valid.load()) return -1;
    if (count == 0) return 0;
    // Cycles up to the last sample's time; refuse counts whose steps would
    // not fit the result.
    const double lastTime = (count - 1) * periodMs;
    const double cycles = std::floor(lastTime / kCycleMs + kTimeSlack) + 1.0;
    if (cycles > static_cast<double>(std::numeric_limits<int32_t>::max())) return -2;

    int64_t cycle = 0;
    double value = 0.0;
    for (int32_t i = 0; i < count; ++i) {
      const double sampleTime = i * periodMs;
      while (cycle * kCycleMs <= sampleTime + kTimeSlack * kCycleMs) {
        // Newest sample at or before the cycle's time.
        auto newest = static_cast<int64_t>(std::floor(cycle * kCycleMs / periodMs + kTimeSlack));
        if (newest > i) newest = i;
        value = portrelay::evaluateChain(*head, input[newest], 1.0, 1.0, 1.0);
        ++cycle;
      }
      output[i] = value;
    }
    return static_cast<int32_t>(cycle);
  } catch (...) {
    return -2;
  }
}

PORTRELAY_LAB_API int32_t portrelayLab_chainKinds(const char* filter, int32_t* kinds, int32_t capacity) {
  try {
    if (filter == nullptr || capacity < 0 || (capacity > 0 && kinds == nullptr)) return -2;
    auto head = portrelay::parseFilterString(filter);
    if (!head->valid.load()) return -1;
    int32_t n = 0;
    for (const portrelay::FilterSys* node = head.get(); node != nullptr; node = node->nextNode()) {
      if (n < capacity) kinds[n] = static_cast<int32_t>(node->kind);
      ++n;
    }
    return n;
  } catch (...) {
    return -2;
  }
}

PORTRELAY_LAB_API const char* portrelayLab_kindName(int32_t kind) {
  // filterKindName returns views of string literals, so data() is
  // NUL-terminated static storage.
  return portrelay::filterKindName(static_cast<FilterKind>(kind)).data();
}

}  // extern "C"
