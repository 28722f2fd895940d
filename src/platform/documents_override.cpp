#include "platform/paths.h"

#include <mutex>

namespace portrelay::platform {

std::string systemDocumentsFolder();  // implemented per OS

#ifdef PORTRELAY_TEST_SEAMS
namespace {
std::mutex overrideMutex;
std::optional<std::string> documentsOverride;
}  // namespace

void overrideDocumentsFolder(std::optional<std::string> path) {
  std::lock_guard lock(overrideMutex);
  documentsOverride = std::move(path);
}

std::string documentsFolder() {
  {
    std::lock_guard lock(overrideMutex);
    if (documentsOverride) return *documentsOverride;
  }
  return systemDocumentsFolder();
}
#else
// The shipped library has no seam.
std::string documentsFolder() { return systemDocumentsFolder(); }
#endif

}  // namespace portrelay::platform
