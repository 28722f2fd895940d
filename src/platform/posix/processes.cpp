#include "platform/processes.h"
#include "platform/services.h"

#include "platform/utf8.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace portrelay::platform {
namespace {

// Reads up to `capacity` bytes of a small /proc file; -1 when it cannot be read.
ssize_t readProcFile(const char* path, char* buffer, size_t capacity) {
  const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return -1;
  ssize_t total = 0;
  while (static_cast<size_t>(total) < capacity) {
    const ssize_t n = ::read(fd, buffer + total, capacity - static_cast<size_t>(total));
    if (n <= 0) break;
    total += n;
  }
  ::close(fd);
  return total;
}

// The parent id from /proc/<pid>/stat ("pid (comm) state ppid ..."); the
// command name may itself hold spaces and parentheses, so parse after the last ')'.
long parentOf(const char* pid) {
  char path[300];
  std::snprintf(path, sizeof path, "/proc/%s/stat", pid);
  char stat[512];
  const ssize_t n = readProcFile(path, stat, sizeof stat - 1);
  if (n <= 0) return -1;
  stat[n] = '\0';
  const char* close = std::strrchr(stat, ')');
  if (close == nullptr) return -1;
  char state = 0;
  long parent = -1;
  if (std::sscanf(close + 1, " %c %ld", &state, &parent) != 2) return -1;
  return parent;
}

}  // namespace

bool isProcessRunning(const std::wstring& executableName) {
  const std::string wanted = toUtf8(executableName.c_str(), executableName.size());
  const std::optional<uint32_t> scope = services().processScope();
  DIR* proc = opendir("/proc");
  if (proc == nullptr) return false;
  bool found = false;
  while (!found) {
    const dirent* entry = readdir(proc);
    if (entry == nullptr) break;
    const char* pid = entry->d_name;
    if (pid[0] < '0' || pid[0] > '9') continue;
    char path[300];
    std::snprintf(path, sizeof path, "/proc/%s/cmdline", pid);
    char commandLine[4096];
    const ssize_t n = readProcFile(path, commandLine, sizeof commandLine - 1);
    if (n <= 0) continue;  // kernel threads and zombies have none
    commandLine[n] = '\0';
    if (executableBaseName(commandLine) != wanted) continue;
    if (scope && parentOf(pid) != static_cast<long>(*scope)) continue;
    found = true;
  }
  closedir(proc);
  return found;
}

uint32_t currentProcessId() { return static_cast<uint32_t>(getpid()); }

const char* const kExecutableSuffix = "";

std::string executablePath() {
  char path[4096];
  const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  return n <= 0 ? std::string() : std::string(path, static_cast<size_t>(n));
}

std::string executableDirectory() {
  const std::string full = executablePath();
  const size_t cut = full.find_last_of('/');
  return cut == std::string::npos ? "." : full.substr(0, cut);
}

}  // namespace portrelay::platform
