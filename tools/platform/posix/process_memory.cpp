#include "tools/platform/process_memory.h"

#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>

namespace portrelay::platform {

uint64_t residentBytes() {
  // /proc/self/statm: total and resident size in pages.
  FILE* file = std::fopen("/proc/self/statm", "r");
  if (file == nullptr) return 0;
  unsigned long long total = 0, resident = 0;
  const int fields = std::fscanf(file, "%llu %llu", &total, &resident);
  std::fclose(file);
  const long page = sysconf(_SC_PAGESIZE);
  if (fields != 2 || page <= 0) return 0;
  return static_cast<uint64_t>(resident) * static_cast<uint64_t>(page);
}

double processCpuSeconds() {
  rusage usage{};
  if (getrusage(RUSAGE_SELF, &usage) != 0) return -1.0;
  const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

}  // namespace portrelay::platform
