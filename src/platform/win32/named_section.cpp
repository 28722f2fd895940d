#include "platform/named_section.h"

#include <windows.h>

namespace portrelay::platform {

intptr_t NamedSection::invalidHandle() { return 0; }

NamedSection::~NamedSection() { close(); }

bool NamedSection::create(const std::wstring& name, size_t size) {
  close();
  HANDLE h = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, static_cast<DWORD>(size),
                                name.c_str());
  if (h == nullptr) return false;
  handle_ = reinterpret_cast<intptr_t>(h);
  size_ = size;
  return true;
}

bool NamedSection::map() {
  if (handle_ == 0) return SetLastError(ERROR_INVALID_HANDLE), false;
  void* view = MapViewOfFile(reinterpret_cast<HANDLE>(handle_), FILE_MAP_ALL_ACCESS, 0, 0, size_);
  if (view == nullptr) return false;
  view_ = view;
  return true;
}

void NamedSection::close() {
  if (view_ != nullptr) UnmapViewOfFile(view_);
  view_ = nullptr;
  if (handle_ != 0) CloseHandle(reinterpret_cast<HANDLE>(handle_));
  handle_ = 0;
}

}  // namespace portrelay::platform
