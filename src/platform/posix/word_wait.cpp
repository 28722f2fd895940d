#include "platform/word_wait.h"

#include <linux/futex.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <climits>

namespace portrelay::platform {
namespace {

uint32_t* address(const std::atomic<uint32_t>& word) {
  // The futex word is the atomic's own storage (same size, lock-free).
  return reinterpret_cast<uint32_t*>(const_cast<std::atomic<uint32_t>*>(&word));
}

}  // namespace

void waitOnWord(const std::atomic<uint32_t>& word, uint32_t expected, int64_t timeoutUs) {
  if (timeoutUs <= 0) return;
  timespec timeout{};
  timeout.tv_sec = static_cast<time_t>(timeoutUs / 1000000);
  timeout.tv_nsec = static_cast<long>((timeoutUs % 1000000) * 1000);
  // The kernel compares the word with `expected` under its own lock, so a
  // change and wake-up between the caller's check and this call is not lost.
  // EAGAIN (changed), ETIMEDOUT and EINTR all end the wait; the caller looks.
  (void)syscall(SYS_futex, address(word), FUTEX_WAIT_PRIVATE, expected, &timeout, nullptr, 0);
}

void wakeWordWaiters(std::atomic<uint32_t>& word) {
  (void)syscall(SYS_futex, address(word), FUTEX_WAKE_PRIVATE, INT_MAX, nullptr, nullptr, 0);
}

}  // namespace portrelay::platform
