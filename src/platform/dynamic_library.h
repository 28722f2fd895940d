// Loading a shared library the way a host does (LoadLibrary / dlopen).
#pragma once
#include <string>

namespace portrelay::platform {

// File name of the PortRelay shared library on this platform.
extern const char* const kPortRelayLibraryName;

class DynamicLibrary {
 public:
  explicit DynamicLibrary(const std::string& path);
  ~DynamicLibrary();
  DynamicLibrary(const DynamicLibrary&) = delete;
  DynamicLibrary& operator=(const DynamicLibrary&) = delete;

  bool loaded() const { return handle_ != nullptr; }
  // Address of an exported symbol, or nullptr.
  void* symbol(const char* name) const;

 private:
  void* handle_ = nullptr;
};

}  // namespace portrelay::platform
