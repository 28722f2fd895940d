#include <atomic>
#include <cstddef>

#include "platform/processes.h"

namespace portrelay::platform {
namespace {
// 0 means "no scope": process id 0 is never anyone's parent we could start.
std::atomic<uint32_t> scopeParent{0};
}  // namespace

#ifdef PORTRELAY_TEST_SEAMS
void overrideProcessScope(std::optional<uint32_t> parentProcessId) {
  scopeParent.store(parentProcessId.value_or(0), std::memory_order_relaxed);
}
#endif

std::optional<uint32_t> processScope() {
  const uint32_t parent = scopeParent.load(std::memory_order_relaxed);
  if (parent == 0) return std::nullopt;
  return parent;
}

std::string_view executableBaseName(std::string_view argv0) {
  const size_t cut = argv0.find_last_of("/\\");
  return cut == std::string_view::npos ? argv0 : argv0.substr(cut + 1);
}

}  // namespace portrelay::platform
