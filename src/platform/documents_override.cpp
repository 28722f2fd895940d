#include "platform/paths.h"

#include <mutex>

namespace portrelay::platform {
namespace {
std::mutex overrideMutex;
std::optional<std::string> documentsOverride;
}  // namespace

std::string systemDocumentsFolder();  // implemented per OS

#ifdef PORTRELAY_TEST_SEAMS
void overrideDocumentsFolder(std::optional<std::string> path) {
  std::lock_guard lock(overrideMutex);
  documentsOverride = std::move(path);
}
#endif

std::string documentsFolder() {
  {
    std::lock_guard lock(overrideMutex);
    if (documentsOverride) return *documentsOverride;
  }
  return systemDocumentsFolder();
}

}  // namespace portrelay::platform
