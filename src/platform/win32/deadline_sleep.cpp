#include "platform/deadline_sleep.h"

#include <windows.h>

#include "platform/clock.h"

#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

namespace portrelay::platform {

DeadlineSleep::~DeadlineSleep() {
  if (timer_ != nullptr) CloseHandle(static_cast<HANDLE>(timer_));
}

namespace {

// Wine's waitable timers wake about a millisecond late, which stretches the
// precise 2-ms period: there the loops keep their spinning wait.
bool runsUnderWine() {
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

}  // namespace

bool DeadlineSleep::until(int64_t deadline) noexcept {
  if (unavailable_) return false;
  if (timer_ == nullptr) {
    if (runsUnderWine()) {
      unavailable_ = true;
      return false;
    }
    // Systems before Windows 10 1803 refuse the flag: they keep the caller's wait.
    timer_ = CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION, TIMER_ALL_ACCESS);
    if (timer_ == nullptr) {
      unavailable_ = true;
      return false;
    }
  }
  const int64_t remaining = deadline - performanceCounter();
  if (remaining <= 0) return true;
  const int64_t frequency = performanceFrequency();
  // Relative due time in 100-ns units (negative), rounded up.
  const int64_t hundredNs = (remaining / frequency) * 10000000LL + ((remaining % frequency) * 10000000LL + frequency - 1) / frequency;
  LARGE_INTEGER due;
  due.QuadPart = -hundredNs;
  if (!SetWaitableTimer(static_cast<HANDLE>(timer_), &due, 0, nullptr, nullptr, FALSE)) return false;
  // Bounded: a timer that never fires must not hold the loop.
  const DWORD boundMs = static_cast<DWORD>(hundredNs / 10000 + 50);
  WaitForSingleObject(static_cast<HANDLE>(timer_), boundMs);
  return true;
}

}  // namespace portrelay::platform
