#include "platform/shared_memory.h"
#include "platform/services.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace portrelay::platform {
namespace {

int toFd(intptr_t handle) { return static_cast<int>(handle); }

bool sameObject(int fd, const std::string& name) {
  const int other = shm_open(name.c_str(), O_RDONLY, 0);
  if (other < 0) return false;
  struct stat mine {}, theirs {};
  const bool same = fstat(fd, &mine) == 0 && fstat(other, &theirs) == 0 && mine.st_dev == theirs.st_dev &&
                    mine.st_ino == theirs.st_ino;
  ::close(other);
  return same;
}

// Creates the object exclusively and gives it its size; -1 when it exists.
int createExclusive(const std::string& name, size_t size) {
  const int fd = shm_open(name.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
  if (fd < 0) return -1;
  if (ftruncate(fd, static_cast<off_t>(size)) != 0) {
    ::close(fd);
    shm_unlink(name.c_str());
    return -1;
  }
  return fd;
}

}  // namespace

std::string objectName(const std::string& windowsName) {
  return posixObjectName(windowsName, services().objectNamespace());
}

SharedMemory SharedMemory::createOrOpen(const std::string& name, size_t size) {
  const std::string native = objectName(name);
  // Two rounds: the object may vanish between a failed create and the open.
  for (int attempt = 0; attempt < 2; ++attempt) {
    const int created = createExclusive(native, size);
    if (created >= 0) return SharedMemory(created, native);
    const int opened = shm_open(native.c_str(), O_RDWR, 0);
    if (opened >= 0) return SharedMemory(opened, std::string());
  }
  return SharedMemory();
}

SharedMemory SharedMemory::openExisting(const std::string& name, ViewAccess access) {
  const int fd = shm_open(objectName(name).c_str(), access == ViewAccess::ReadOnly ? O_RDONLY : O_RDWR, 0);
  return fd < 0 ? SharedMemory() : SharedMemory(fd, std::string());
}

SharedMemory SharedMemory::publish(const std::string& name, size_t size) {
  const std::string native = objectName(name);
  shm_unlink(native.c_str());  // a stale object of an earlier run
  const int fd = createExclusive(native, size);
  return fd < 0 ? SharedMemory() : SharedMemory(fd, native);
}

void SharedMemory::close() {
  if (handle_ == kNoHandle) return;
  if (!unlinkName_.empty() && sameObject(toFd(handle_), unlinkName_)) shm_unlink(unlinkName_.c_str());
  ::close(toFd(handle_));
  handle_ = kNoHandle;
  unlinkName_.clear();
}

SharedView SharedView::map(const SharedMemory& memory, ViewAccess access, size_t size) {
  SharedView view;
  if (!memory.valid()) return view;
  struct stat info {};
  if (fstat(toFd(memory.nativeHandle()), &info) != 0 || info.st_size <= 0) return view;
  const auto extent = static_cast<size_t>(info.st_size);
  // Touching a page past the object's end would raise SIGBUS: refuse, as
  // Windows refuses a view larger than its section.
  if (size > extent) return view;
  const size_t length = size == 0 ? extent : size;
  const int protection = access == ViewAccess::ReadOnly ? PROT_READ : PROT_READ | PROT_WRITE;
  void* address = mmap(nullptr, length, protection, MAP_SHARED, toFd(memory.nativeHandle()), 0);
  if (address == MAP_FAILED) return view;
  view.data_ = static_cast<uint8_t*>(address);
  view.size_ = length;
  view.mappedLength_ = length;
  view.writable_ = access == ViewAccess::ReadWrite;
  return view;
}

void SharedView::unmap() {
  if (data_ == nullptr) return;
  munmap(data_, mappedLength_);
  data_ = nullptr;
  size_ = 0;
  mappedLength_ = 0;
  writable_ = false;
}

}  // namespace portrelay::platform
