#include "sources/mapped_section.h"

#include "log/console.h"

namespace portrelay {

bool MappedSection::createOrOpen(const std::string& name, size_t size) {
  memory_ = platform::SharedMemory::createOrOpen(name, size);
  return memory_.valid();
}

bool MappedSection::openExisting(const std::string& name) {
  memory_ = platform::SharedMemory::openExisting(name, platform::ViewAccess::ReadOnly);
  return memory_.valid();
}

bool MappedSection::map(size_t size) {
  view_ = platform::SharedView::map(memory_, platform::ViewAccess::ReadOnly, size);
  return view_.valid();
}

void MappedSection::release() {
  view_.unmap();
  memory_.close();
}

bool openAndMapExisting(MappedSection& section, const std::string& name, size_t size) {
  if (!section.openExisting(name)) {
    printConsole(L"Failed to open mapping");
    return false;
  }
  if (!section.map(size)) {
    printConsole(L"Failed to map buffer");
    section.release();
    return false;
  }
  return true;
}

bool mappingExists(const std::string& name) {
  return platform::SharedMemory::openExisting(name, platform::ViewAccess::ReadOnly).valid();
}

}  // namespace portrelay
