#include "log/diagnostics.h"

#include <cstdio>
#include <mutex>
#include <string>

namespace portrelay {
namespace {

struct DiagnosticOutput {
  std::mutex mutex;  // a replaced callback is never called after the call that replaced it
  int32_t destination = PORTRELAY_DIAGNOSTICS_CONSOLE;
  PortRelayDiagnosticCallback callback = nullptr;
  void* context = nullptr;
};

// Built when the library loads, so destroyed after the engine and the link,
// whose threads may print while they end at unload.
DiagnosticOutput theOutput;

DiagnosticOutput& output() { return theOutput; }

}  // namespace

void emitDiagnostic(DiagnosticLevel level, std::string_view text) noexcept {
  try {
    DiagnosticOutput& out = output();
    std::lock_guard lock(out.mutex);
    if (out.destination == PORTRELAY_DIAGNOSTICS_CALLBACK) {
      const std::string line(text);  // NUL-terminated for the host
      out.callback(static_cast<int32_t>(level), line.c_str(), out.context);
    } else if (out.destination == PORTRELAY_DIAGNOSTICS_CONSOLE) {
      std::FILE* stream = level == DiagnosticLevel::error ? stderr : stdout;
      std::fwrite(text.data(), 1, text.size(), stream);
      std::fflush(stream);
    }
  } catch (...) {
    // Diagnostics never change the caller's course.
  }
}

int32_t setDiagnosticOutput(int32_t destination, PortRelayDiagnosticCallback callback, void* context) noexcept {
  if (destination != PORTRELAY_DIAGNOSTICS_OFF && destination != PORTRELAY_DIAGNOSTICS_CONSOLE &&
      destination != PORTRELAY_DIAGNOSTICS_CALLBACK)
    return 0;
  if (destination == PORTRELAY_DIAGNOSTICS_CALLBACK && callback == nullptr) return 0;
  try {
    DiagnosticOutput& out = output();
    std::lock_guard lock(out.mutex);
    out.destination = destination;
    out.callback = destination == PORTRELAY_DIAGNOSTICS_CALLBACK ? callback : nullptr;
    out.context = destination == PORTRELAY_DIAGNOSTICS_CALLBACK ? context : nullptr;
    return 1;
  } catch (...) {
    return 0;
  }
}

}  // namespace portrelay
