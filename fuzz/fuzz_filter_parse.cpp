// Any byte string given to the filter-string parser: no crash, no hang, and a
// valid result is always a well-formed chain ending in VALUE.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "filters/filter_parser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto head = portrelay::parseFilterString(text);
  if (!head) std::abort();
  if (!head->valid.load()) return 0;
  size_t nodes = 0;
  const portrelay::FilterSys* node = head.get();
  for (const portrelay::FilterSys* next = node; next != nullptr; next = next->nextNode()) {
    node = next;
    if (++nodes > portrelay::kMaxChainNodes) std::abort();
  }
  if (node->kind != portrelay::FilterKind::Value) std::abort();
  return 0;
}
