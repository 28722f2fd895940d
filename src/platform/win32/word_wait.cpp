#include "platform/word_wait.h"

#include <windows.h>

namespace portrelay::platform {

void waitOnWord(const std::atomic<uint32_t>& word, uint32_t expected, int64_t timeoutUs) {
  if (timeoutUs <= 0) return;
  const int64_t ms = (timeoutUs + 999) / 1000;
  const DWORD timeoutMs = ms >= static_cast<int64_t>(INFINITE) ? INFINITE - 1 : static_cast<DWORD>(ms);
  // Compares the word with `expected` and sleeps only while they are equal; a
  // wake-up between the caller's check and this call is not lost.
  (void)WaitOnAddress(const_cast<std::atomic<uint32_t>*>(&word), &expected, sizeof expected, timeoutMs);
}

void wakeWordWaiters(std::atomic<uint32_t>& word) { WakeByAddressAll(&word); }

}  // namespace portrelay::platform
