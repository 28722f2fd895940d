#include "platform/named_section.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace portrelay::platform {

intptr_t NamedSection::invalidHandle() { return -1; }

NamedSection::~NamedSection() { close(); }

bool NamedSection::create(const std::wstring& name, size_t size) {
  close();
  std::string posixName(name.size() + 1, '/');
  for (size_t i = 0; i < name.size(); ++i) {
    const wchar_t c = name[i];
    posixName[i + 1] = (c > 0 && c < 0x80 && c != L'/') ? static_cast<char>(c) : '_';
  }
  posixName_ = posixName;
  int fd = shm_open(posixName_.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
  owner_ = fd >= 0;
  if (fd < 0 && errno == EEXIST) fd = shm_open(posixName_.c_str(), O_RDWR, 0600);
  if (fd < 0) return false;
  struct stat st{};
  if (fstat(fd, &st) != 0 || (static_cast<size_t>(st.st_size) < size && ftruncate(fd, static_cast<off_t>(size)) != 0)) {
    const int error = errno;
    ::close(fd);
    if (owner_) shm_unlink(posixName_.c_str());
    owner_ = false;
    errno = error;
    return false;
  }
  handle_ = fd;
  size_ = size;
  return true;
}

bool NamedSection::map() {
  if (handle_ < 0) return errno = EBADF, false;
  void* view = mmap(nullptr, size_, PROT_READ | PROT_WRITE, MAP_SHARED, static_cast<int>(handle_), 0);
  if (view == MAP_FAILED) return false;
  view_ = view;
  return true;
}

void NamedSection::close() {
  if (view_ != nullptr) munmap(view_, size_);
  view_ = nullptr;
  if (handle_ >= 0) {
    ::close(static_cast<int>(handle_));
    if (owner_) shm_unlink(posixName_.c_str());
  }
  handle_ = -1;
  owner_ = false;
}

}  // namespace portrelay::platform
