// Untimed diagnostics on standard output.
#pragma once

namespace portrelay {

// Formats wide text like wprintf and writes it, UTF-8 encoded, to standard
// output, or where the host sent the diagnostics (log/diagnostics.h). No time stamp, level or line end is added. Format strings must be
// portable between the C libraries: "%ls" for wide text, numbers as usual.
void printConsole(const wchar_t* format, ...);

}  // namespace portrelay
