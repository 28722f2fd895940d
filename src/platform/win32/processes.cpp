#include "platform/processes.h"
#include "platform/services.h"

#include <windows.h>
#include <tlhelp32.h>

#include <cwchar>

namespace portrelay::platform {

bool isProcessRunning(const std::wstring& executableName) {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return false;
  const std::optional<uint32_t> scope = services().processScope();
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  bool found = false;
  for (BOOL more = Process32FirstW(snapshot, &entry); more && !found; more = Process32NextW(snapshot, &entry)) {
    if (std::wcscmp(entry.szExeFile, executableName.c_str()) != 0) continue;
    if (scope && entry.th32ParentProcessID != *scope) continue;
    found = true;
  }
  CloseHandle(snapshot);
  return found;
}

uint32_t currentProcessId() { return GetCurrentProcessId(); }

const char* const kExecutableSuffix = ".exe";

std::string executablePath() {
  char path[MAX_PATH] = {};
  const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  return n == 0 || n >= MAX_PATH ? std::string() : std::string(path, n);
}

std::string executableDirectory() {
  const std::string full = executablePath();
  const size_t cut = full.find_last_of("\\/");
  return cut == std::string::npos ? "." : full.substr(0, cut);
}

}  // namespace portrelay::platform
