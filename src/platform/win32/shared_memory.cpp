#include "platform/shared_memory.h"
#include "platform/services.h"

#include <windows.h>

namespace portrelay::platform {
namespace {

HANDLE toHandle(intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }
intptr_t fromHandle(HANDLE handle) {
  return handle == nullptr ? SharedMemory::kNoHandle : reinterpret_cast<intptr_t>(handle);
}

}  // namespace

std::string objectName(const std::string& windowsName) {
  return windowsObjectName(windowsName, services().objectNamespace());
}

SharedMemory SharedMemory::createOrOpen(const std::string& name, size_t size) {
  const auto high = static_cast<DWORD>(static_cast<uint64_t>(size) >> 32);
  const auto low = static_cast<DWORD>(size & 0xFFFFFFFFu);
  HANDLE handle = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, high, low,
                                     objectName(name).c_str());
  return SharedMemory(fromHandle(handle), std::string());
}

SharedMemory SharedMemory::openExisting(const std::string& name, ViewAccess access) {
  const DWORD rights = access == ViewAccess::ReadOnly ? FILE_MAP_READ : FILE_MAP_READ | FILE_MAP_WRITE;
  return SharedMemory(fromHandle(OpenFileMappingA(rights, FALSE, objectName(name).c_str())), std::string());
}

SharedMemory SharedMemory::publish(const std::string& name, size_t size) {
  // The mapping may already exist (a reader created it while looking for the
  // game); the publisher then shares it, as the game would.
  return createOrOpen(name, size);
}

void SharedMemory::close() {
  if (handle_ == kNoHandle) return;
  CloseHandle(toHandle(handle_));
  handle_ = kNoHandle;
}

SharedView SharedView::map(const SharedMemory& memory, ViewAccess access, size_t size) {
  SharedView view;
  if (!memory.valid()) return view;
  const DWORD rights = access == ViewAccess::ReadOnly ? FILE_MAP_READ : FILE_MAP_READ | FILE_MAP_WRITE;
  // Windows itself refuses a view larger than the section.
  void* address = MapViewOfFile(toHandle(memory.nativeHandle()), rights, 0, 0, size);
  if (address == nullptr) return view;
  size_t length = size;
  if (length == 0) {
    MEMORY_BASIC_INFORMATION info{};
    if (VirtualQuery(address, &info, sizeof info) == 0 || info.RegionSize == 0) {
      UnmapViewOfFile(address);
      return view;
    }
    length = info.RegionSize;
  }
  view.data_ = static_cast<uint8_t*>(address);
  view.size_ = length;
  view.mappedLength_ = length;
  view.writable_ = access == ViewAccess::ReadWrite;
  return view;
}

void SharedView::unmap() {
  if (data_ == nullptr) return;
  UnmapViewOfFile(data_);
  data_ = nullptr;
  size_ = 0;
  mappedLength_ = 0;
  writable_ = false;
}

}  // namespace portrelay::platform
