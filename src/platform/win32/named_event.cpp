#include "platform/named_event.h"

#include <windows.h>

#include <utility>

#include "platform/shared_memory.h"

namespace portrelay::platform {

NamedEvent NamedEvent::openExisting(const std::string& name) {
  return NamedEvent(OpenEventA(SYNCHRONIZE, FALSE, objectName(name).c_str()), std::string());
}

NamedEvent NamedEvent::create(const std::string& name) {
  return NamedEvent(CreateEventA(nullptr, FALSE, FALSE, objectName(name).c_str()), std::string());
}

bool NamedEvent::signal() { return handle_ != nullptr && SetEvent(static_cast<HANDLE>(handle_)) != 0; }

void NamedEvent::close() {
  if (handle_ == nullptr) return;
  CloseHandle(static_cast<HANDLE>(handle_));
  handle_ = nullptr;
}

bool gameEventsReachable() { return true; }

}  // namespace portrelay::platform
