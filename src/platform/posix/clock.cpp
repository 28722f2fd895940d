#include "platform/clock.h"

#include <time.h>

namespace portrelay::platform {

int64_t performanceCounter() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

int64_t performanceFrequency() { return 1000000000LL; }

std::tm localTime(std::time_t time) {
  std::tm local{};
  if (localtime_r(&time, &local) == nullptr) return std::tm{};
  return local;
}

}  // namespace portrelay::platform
