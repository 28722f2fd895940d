// Named events: iRacing's "data valid" event.
//
// Windows: kernel event objects. POSIX has no named events; the equivalent used
// here is a named semaphore (sem_open) under the name that objectName() gives
// (shared_memory.h). The library only tests that the event exists; a simulator
// creates it and signals it once per sample (sem_post).
#pragma once
#include <cstdint>
#include <string>

namespace portrelay::platform {

// Whether a game's named events reach this process. Windows: yes. Linux: a
// game runs under Wine or Proton, whose events live inside the prefix's
// wineserver where no Linux process sees them (the game's shared memory
// reaches the library through files in /dev/shm, its events cannot); readers
// do without them there and poll the game's memory.
bool gameEventsReachable();

class NamedEvent {
 public:
  NamedEvent() = default;
  ~NamedEvent() { close(); }
  NamedEvent(NamedEvent&& other) noexcept;
  NamedEvent& operator=(NamedEvent&& other) noexcept;
  NamedEvent(const NamedEvent&) = delete;
  NamedEvent& operator=(const NamedEvent&) = delete;

  // Opens an existing event with synchronise access; invalid when it does not exist.
  static NamedEvent openExisting(const std::string& name);
  // Creates the event (auto-reset, not signalled) or opens it when it exists.
  // POSIX: the semaphore is removed again when this handle closes.
  static NamedEvent create(const std::string& name);

  bool valid() const { return handle_ != nullptr; }
  // Wakes one waiter (SetEvent / sem_post). False on an invalid handle.
  bool signal();
  void close();

 private:
  NamedEvent(void* handle, std::string unlinkName) : handle_(handle), unlinkName_(std::move(unlinkName)) {}

  void* handle_ = nullptr;
  std::string unlinkName_;
};

}  // namespace portrelay::platform
