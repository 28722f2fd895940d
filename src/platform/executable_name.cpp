#include <cstddef>

#include "platform/processes.h"

namespace portrelay::platform {

std::string_view executableBaseName(std::string_view argv0) {
  const size_t cut = argv0.find_last_of("/\\");
  return cut == std::string_view::npos ? argv0 : argv0.substr(cut + 1);
}

}  // namespace portrelay::platform
