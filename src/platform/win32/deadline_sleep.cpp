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

// ntdll's relative sleep, in 100-ns units. Wine runs it as a select() with a
// microsecond time-out inside the process, which wakes well under 0.2 ms
// late, whereas its waitable timers go through the wineserver and wake about
// a millisecond late. On Windows it keeps the system timer's resolution, so
// there the high-resolution waitable timer serves.
using DelayExecution = LONG(NTAPI*)(BOOLEAN alertable, PLARGE_INTEGER interval);

DelayExecution wineDelayExecution() {
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  if (ntdll == nullptr || GetProcAddress(ntdll, "wine_get_version") == nullptr) return nullptr;
  return reinterpret_cast<DelayExecution>(reinterpret_cast<void*>(GetProcAddress(ntdll, "NtDelayExecution")));
}

}  // namespace

bool DeadlineSleep::until(int64_t deadline) noexcept {
  if (unavailable_) return false;
  if (timer_ == nullptr && delayExecution_ == nullptr) {
    if (DelayExecution delay = wineDelayExecution()) {
      delayExecution_ = reinterpret_cast<void*>(delay);
    } else {
      // Systems before Windows 10 1803 refuse the flag: they keep the caller's wait.
      timer_ = CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION, TIMER_ALL_ACCESS);
      if (timer_ == nullptr) {
        unavailable_ = true;
        return false;
      }
    }
  }
  const int64_t remaining = deadline - performanceCounter();
  if (remaining <= 0) return true;
  const int64_t frequency = performanceFrequency();
  // Relative due time in 100-ns units (negative), rounded up.
  const int64_t hundredNs = (remaining / frequency) * 10000000LL + ((remaining % frequency) * 10000000LL + frequency - 1) / frequency;
  LARGE_INTEGER due;
  due.QuadPart = -hundredNs;
  if (delayExecution_ != nullptr) {
    reinterpret_cast<DelayExecution>(delayExecution_)(FALSE, &due);  // relative: ends after the time, at most
    return true;
  }
  if (!SetWaitableTimer(static_cast<HANDLE>(timer_), &due, 0, nullptr, nullptr, FALSE)) return false;
  // Bounded: a timer that never fires must not hold the loop.
  const DWORD boundMs = static_cast<DWORD>(hundredNs / 10000 + 50);
  WaitForSingleObject(static_cast<HANDLE>(timer_), boundMs);
  return true;
}

}  // namespace portrelay::platform
