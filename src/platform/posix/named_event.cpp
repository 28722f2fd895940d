#include "platform/named_event.h"

#include <fcntl.h>
#include <semaphore.h>

#include <utility>

#include "platform/shared_memory.h"

namespace portrelay::platform {

NamedEvent NamedEvent::openExisting(const std::string& name) {
  sem_t* semaphore = sem_open(objectName(name).c_str(), 0);
  return semaphore == SEM_FAILED ? NamedEvent() : NamedEvent(semaphore, std::string());
}

NamedEvent NamedEvent::create(const std::string& name) {
  const std::string native = objectName(name);
  sem_t* semaphore = sem_open(native.c_str(), O_CREAT | O_EXCL, 0600, 0u);
  if (semaphore != SEM_FAILED) return NamedEvent(semaphore, native);
  semaphore = sem_open(native.c_str(), 0);
  return semaphore == SEM_FAILED ? NamedEvent() : NamedEvent(semaphore, std::string());
}

bool NamedEvent::signal() { return handle_ != nullptr && sem_post(static_cast<sem_t*>(handle_)) == 0; }

void NamedEvent::close() {
  if (handle_ == nullptr) return;
  sem_close(static_cast<sem_t*>(handle_));
  if (!unlinkName_.empty()) sem_unlink(unlinkName_.c_str());
  handle_ = nullptr;
  unlinkName_.clear();
}

bool gameEventsReachable() { return false; }

}  // namespace portrelay::platform
