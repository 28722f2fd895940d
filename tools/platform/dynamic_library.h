// Loading a shared library the way a host does (LoadLibrary / dlopen).
#pragma once
#include <string>

namespace portrelay::platform {

// File names of the PortRelay shared library on this platform: the shipped
// library, and its test variant that also exports the test seams.
extern const char* const kPortRelayLibraryName;
extern const char* const kPortRelayTestLibraryName;

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
