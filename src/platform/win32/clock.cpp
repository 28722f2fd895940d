#include "platform/clock.h"

#include <windows.h>

namespace portrelay::platform {

int64_t performanceCounter() {
  LARGE_INTEGER value;
  QueryPerformanceCounter(&value);
  return value.QuadPart;
}

int64_t performanceFrequency() {
  LARGE_INTEGER value;
  QueryPerformanceFrequency(&value);
  return value.QuadPart;
}

}  // namespace portrelay::platform
