// Where the library's untimed diagnostic lines go: standard output and
// standard error (the default), a callback of the host's, or nowhere.
#pragma once
#include <cstdint>
#include <string_view>

#include "portrelay/portrelay.h"

namespace portrelay {

enum class DiagnosticLevel : int32_t { info = 0, error = 1 };

// Hands one text (as it would be printed, UTF-8) to the chosen output; with
// the console output, info goes to standard output and error to standard error.
void emitDiagnostic(DiagnosticLevel level, std::string_view text) noexcept;

// setDiagnosticOutput: 1 when taken, 0 when refused (nothing changed).
int32_t setDiagnosticOutput(int32_t destination, PortRelayDiagnosticCallback callback, void* context) noexcept;

}  // namespace portrelay
