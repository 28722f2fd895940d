// Named shared memory: the games' telemetry pages, the rig pose and the relay
// sections.
//
// Names are given in the Windows form ("Local\acpmf_physics", "$R3E"). Windows
// uses them as they are. POSIX has neither session namespaces nor backslashes
// in object names, so the name is translated (objectName below): a leading
// "Local\" or "Global\" is dropped, every remaining '\' or '/' becomes '_', and
// a '/' is put in front: "Local\acpmf_physics" is the POSIX object
// "/acpmf_physics", "$R3E" is "/$R3E".
//
// Lifetime. A Windows mapping lives while any process holds a handle to it.
// POSIX objects live until unlinked, so the POSIX backend ties an object to
// whoever brought it into being: an object that createOrOpen or publish created
// is unlinked when that handle is closed (only if the name still refers to that
// same object). An open of an existing object never unlinks it.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>

namespace portrelay::platform {

enum class ViewAccess { ReadOnly, ReadWrite };

// One handle to a named mapping. Move-only; closes itself on destruction.
class SharedMemory {
 public:
  SharedMemory() = default;
  ~SharedMemory() { close(); }
  SharedMemory(SharedMemory&& other) noexcept;
  SharedMemory& operator=(SharedMemory&& other) noexcept;
  SharedMemory(const SharedMemory&) = delete;
  SharedMemory& operator=(const SharedMemory&) = delete;

  // Opens the mapping, creating it with `size` zero bytes when it does not exist
  // (CreateFileMapping with read-write pages). An existing mapping keeps its own
  // size, which may be smaller than `size`.
  static SharedMemory createOrOpen(const std::string& name, size_t size);
  // Opens an existing mapping only (OpenFileMapping); invalid when there is none.
  static SharedMemory openExisting(const std::string& name, ViewAccess access);
  // For simulators of the publishing side: creates a fresh mapping of `size`
  // bytes. On POSIX a stale object left under the name is replaced.
  static SharedMemory publish(const std::string& name, size_t size);

  bool valid() const { return handle_ != kNoHandle; }
  void close();

  // Internal to the backends.
  static constexpr intptr_t kNoHandle = -1;
  intptr_t nativeHandle() const { return handle_; }

 private:
  SharedMemory(intptr_t handle, std::string unlinkName) : handle_(handle), unlinkName_(std::move(unlinkName)) {}

  intptr_t handle_ = kNoHandle;
  std::string unlinkName_;  // POSIX: the object this handle created, to unlink at close
};

// A mapped view of a SharedMemory. Move-only; unmaps itself on destruction.
// The view stays valid after its SharedMemory handle is closed.
class SharedView {
 public:
  SharedView() = default;
  ~SharedView() { unmap(); }
  SharedView(SharedView&& other) noexcept;
  SharedView& operator=(SharedView&& other) noexcept;
  SharedView(const SharedView&) = delete;
  SharedView& operator=(const SharedView&) = delete;

  // Maps `size` bytes from the start, or the whole mapping when size is 0.
  // Fails (invalid view) when the mapping is smaller than `size`.
  static SharedView map(const SharedMemory& memory, ViewAccess access, size_t size);

  bool valid() const { return data_ != nullptr; }
  const uint8_t* data() const { return data_; }
  // Null for a read-only view.
  uint8_t* writableData() const { return writable_ ? data_ : nullptr; }
  // Bytes that may be read: the requested size, or the mapping's extent when
  // the whole mapping was mapped (a Windows view extends to its last page).
  size_t size() const { return size_; }
  void unmap();

 private:
  uint8_t* data_ = nullptr;
  size_t size_ = 0;
  size_t mappedLength_ = 0;
  bool writable_ = false;
};

// The platform's object name for a Windows-style name, inside the current
// object namespace (Services::objectNamespace in platform/services.h).
std::string objectName(const std::string& windowsName);
// Pure translations, for either platform (the namespace is inserted after the
// session prefix on Windows and after the '/' on POSIX).
std::string windowsObjectName(const std::string& windowsName, const std::string& objectNamespace);
std::string posixObjectName(const std::string& windowsName, const std::string& objectNamespace);

}  // namespace portrelay::platform
