#include "tools/platform/dynamic_library.h"

#include <dlfcn.h>

namespace portrelay::platform {

const char* const kPortRelayLibraryName = "libportrelay.so";
const char* const kPortRelayTestLibraryName = "libportrelay_testing.so";

DynamicLibrary::DynamicLibrary(const std::string& path) : handle_(dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) {}

DynamicLibrary::~DynamicLibrary() {
  if (handle_ != nullptr) dlclose(handle_);
}

void* DynamicLibrary::symbol(const char* name) const { return handle_ ? dlsym(handle_, name) : nullptr; }

}  // namespace portrelay::platform
