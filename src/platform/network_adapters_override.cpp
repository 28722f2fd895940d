#include <mutex>

#include "platform/network_adapters.h"

namespace portrelay::platform {

AdapterQuery systemNetworkAdapters();  // implemented per OS

#ifdef PORTRELAY_TEST_SEAMS
namespace {
std::mutex overrideMutex;
std::optional<AdapterQuery> adaptersOverride;
}  // namespace

void overrideNetworkAdapters(std::optional<AdapterQuery> query) {
  std::lock_guard lock(overrideMutex);
  adaptersOverride = std::move(query);
}

AdapterQuery queryNetworkAdapters() {
  {
    std::lock_guard lock(overrideMutex);
    if (adaptersOverride) return *adaptersOverride;
  }
  return systemNetworkAdapters();
}
#else
// The shipped library has no seam.
AdapterQuery queryNetworkAdapters() { return systemNetworkAdapters(); }
#endif

}  // namespace portrelay::platform
