#include "riglink/driver_claim.h"

#include <atomic>
#include <string>

#include "log/diagnostics.h"
#include "platform/processes.h"

namespace portrelay {
namespace {

constexpr size_t kSectionSize = 64;

std::string sectionName() {
  return "Local\\PortRelay.driver." + std::to_string(platform::currentProcessId());
}

// Built when the library loads, so destroyed after the engine and the link
// (created on first use), which release it while they end.
DriverClaim thisCopysClaim;

}  // namespace

DriverClaim& DriverClaim::instance() { return thisCopysClaim; }

bool DriverClaim::acquire() {
  std::lock_guard lock(mutex_);
  if (holders_ > 0) {
    ++holders_;
    return true;
  }
  memory_ = platform::SharedMemory::createOrOpen(sectionName(), kSectionSize);
  if (memory_.valid()) view_ = platform::SharedView::map(memory_, platform::ViewAccess::ReadWrite, kSectionSize);
  if (!view_.valid()) {
    // Without the section no other copy can be seen; this copy runs as before.
    memory_.close();
    ++holders_;
    return true;
  }
  std::atomic_ref<uint64_t> owner(*reinterpret_cast<uint64_t*>(view_.writableData()));
  uint64_t expected = 0;
  const auto token = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(this));
  if (!owner.compare_exchange_strong(expected, token) && expected != token) {
    view_ = platform::SharedView();
    memory_.close();
    emitDiagnostic(DiagnosticLevel::error,
                   "PortRelay: another copy of the library in this process drives the rig; this one does not start\n");
    return false;
  }
  ++holders_;
  return true;
}

void DriverClaim::release() {
  std::lock_guard lock(mutex_);
  if (holders_ == 0 || --holders_ > 0) return;
  if (view_.valid()) {
    std::atomic_ref<uint64_t>(*reinterpret_cast<uint64_t*>(view_.writableData())).store(0);
    view_ = platform::SharedView();
  }
  memory_.close();
}

}  // namespace portrelay
