// The process list: is a game's executable running?
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace portrelay::platform {

// True when a process whose executable name equals `executableName` exactly
// (whole name, case-sensitive) is running. Windows: a ToolHelp process snapshot,
// closed afterwards. Linux: the base name of argv[0] from /proc/<pid>/cmdline
// (the kernel's own name is cut at 15 characters, and a game running under a
// compatibility layer shows its Windows path there, e.g. C:\Games\F1_23.exe).
// Only children of the process scope count while the services give one
// (platform/services.h), so a test sees the games it started and no others.
bool isProcessRunning(const std::wstring& executableName);

// The last component of a command line's first word, split at '/' or '\'.
std::string_view executableBaseName(std::string_view argv0);

uint32_t currentProcessId();
// Full path of the running executable, and its folder (no trailing separator).
std::string executablePath();
std::string executableDirectory();
// File name ending of programs here: ".exe" on Windows, "" elsewhere.
extern const char* const kExecutableSuffix;

}  // namespace portrelay::platform
