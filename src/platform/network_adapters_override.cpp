#include <mutex>

#include "platform/network_adapters.h"

namespace portrelay::platform {
namespace {
std::mutex overrideMutex;
std::optional<AdapterQuery> adaptersOverride;
}  // namespace

AdapterQuery systemNetworkAdapters();  // implemented per OS

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

}  // namespace portrelay::platform
