// Waiting on a 32-bit word until another thread changes it: the futex of Linux,
// WaitOnAddress of Windows. The side that changes the word and wakes the
// waiters takes no lock and allocates nothing (one system call at most), so a
// real-time loop may wake another one every cycle.
#pragma once
#include <atomic>
#include <cstdint>

namespace portrelay::platform {

static_assert(sizeof(std::atomic<uint32_t>) == sizeof(uint32_t) && std::atomic<uint32_t>::is_always_lock_free,
              "the word is waited on by its address");

// Blocks while `word` holds `expected`, for at most `timeoutUs` microseconds
// (Windows rounds the time-out up to whole milliseconds, so with a 1-ms timer
// resolution the wait ends 1 to 2 ms after a 1000-µs request, as a 1-ms sleep
// does). Returns at once when the word already differs; may also return early
// without a change (spurious wake-up, signal): the caller checks the word.
// A time-out of 0 or less returns at once.
void waitOnWord(const std::atomic<uint32_t>& word, uint32_t expected, int64_t timeoutUs);

// Wakes every thread blocked in waitOnWord on `word` (the caller has changed
// it before). Harmless when nobody waits.
void wakeWordWaiters(std::atomic<uint32_t>& word);

}  // namespace portrelay::platform
