#include "tools/platform/dynamic_library.h"

#include <windows.h>

namespace portrelay::platform {

const char* const kPortRelayLibraryName = "portrelay.dll";
const char* const kPortRelayTestLibraryName = "portrelay_testing.dll";

DynamicLibrary::DynamicLibrary(const std::string& path) : handle_(LoadLibraryA(path.c_str())) {}

DynamicLibrary::~DynamicLibrary() {
  if (handle_ != nullptr) FreeLibrary(static_cast<HMODULE>(handle_));
}

void* DynamicLibrary::symbol(const char* name) const {
  return handle_ ? reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), name)) : nullptr;
}

}  // namespace portrelay::platform
