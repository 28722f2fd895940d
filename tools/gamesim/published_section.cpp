#include "gamesim/published_section.h"

namespace gamesim {

using portrelay::platform::SharedMemory;
using portrelay::platform::SharedView;
using portrelay::platform::ViewAccess;

bool PublishedSection::publish() {
  close();
  memory_ = SharedMemory::publish(name_, size_);
  if (!memory_.valid()) return false;
  view_ = SharedView::map(memory_, ViewAccess::ReadWrite, size_);
  if (!view_.valid()) {
    memory_.close();
    return false;
  }
  std::memset(view_.writableData(), 0, size_);
  return true;
}

void PublishedSection::close() {
  view_.unmap();
  memory_.close();
}

}  // namespace gamesim
