// A small named shared-memory section: created (or opened) by name, then a
// read/write view mapped. Windows: a page-file-backed file mapping; POSIX: a
// shm_open object named "/" + the name, removed again by the process that
// created it when it closes.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace portrelay::platform {

class NamedSection {
 public:
  NamedSection() = default;
  ~NamedSection();
  NamedSection(const NamedSection&) = delete;
  NamedSection& operator=(const NamedSection&) = delete;

  // Creates the section, or opens it when it exists. False on failure, the
  // code left for lastSystemError().
  bool create(const std::wstring& name, size_t size);
  // Maps a read/write view of the whole section.
  bool map();
  // Unmaps the view and closes the section.
  void close();

  void* view() const { return view_; }
  bool created() const { return handle_ != invalidHandle(); }

 private:
  static intptr_t invalidHandle();
  intptr_t handle_ = invalidHandle();
  void* view_ = nullptr;
  size_t size_ = 0;
  std::string posixName_;
  bool owner_ = false;
};

}  // namespace portrelay::platform
