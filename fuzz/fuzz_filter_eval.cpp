// Parse-then-evaluate: the first line of the input is a filter string, the
// rest a stream of doubles (any bit patterns, NaN and infinities included).
// Evaluation must never crash, never return a non-finite value and never
// leave non-finite memory in a node.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "filters/chain_evaluation.h"
#include "filters/filter_parser.h"

namespace {

void checkMemory(const portrelay::FilterSys& head) {
  for (const portrelay::FilterSys* node = &head; node != nullptr; node = node->nextNode()) {
    if (!std::isfinite(node->state)) std::abort();
    if (node->noise && !std::isfinite(node->noise->elapsed)) std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* bytes = reinterpret_cast<const char*>(data);
  const void* newline = std::memchr(bytes, '\n', size);
  const size_t textSize = newline ? static_cast<size_t>(static_cast<const char*>(newline) - bytes) : size;
  const auto head = portrelay::parseFilterString(std::string_view(bytes, textSize));
  if (!head->valid.load()) return 0;

  const uint8_t* values = data + textSize + (newline ? 1 : 0);
  size_t remaining = size - (values - data);
  // At least a few hundred calls so that noise targets and sine wraps happen.
  const size_t calls = remaining / sizeof(double) + 300;
  for (size_t i = 0; i < calls; ++i) {
    double x = 0.0;
    if (remaining >= sizeof(double)) {
      std::memcpy(&x, values, sizeof(double));
      values += sizeof(double);
      remaining -= sizeof(double);
    } else {
      x = static_cast<double>(i % 7) - 3.0;
    }
    const double out = portrelay::evaluateChain(*head, x, 1.0, 1.0, 1.0);
    if (!std::isfinite(out)) std::abort();
  }
  checkMemory(*head);
  return 0;
}
