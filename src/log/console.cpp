#include "log/console.h"

#include <cstdarg>
#include <cstdio>
#include <cwchar>
#include <string>

#include "log/diagnostics.h"
#include "platform/utf8.h"

namespace portrelay {

void printConsole(const wchar_t* format, ...) {
  if (format == nullptr) return;
  wchar_t buffer[1024];
  va_list args;
  va_start(args, format);
  const int length = std::vswprintf(buffer, sizeof buffer / sizeof buffer[0], format, args);
  va_end(args);
  if (length < 0) return;  // too long or malformed: diagnostics only
  emitDiagnostic(DiagnosticLevel::info, toUtf8(buffer, static_cast<size_t>(length)));
}

}  // namespace portrelay
