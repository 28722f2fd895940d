// Timer resolution and priorities of the real-time threads.
#pragma once

namespace portrelay::platform {

// Ask for a 1-ms system timer resolution (timeBeginPeriod(1)); never released.
// Where the system timer is already fine-grained (Linux), asks instead that
// the calling thread's sleeps end on time (a timer slack of 1 ns).
void requestMillisecondTimer();

// Raise the whole process to the real-time priority class (Windows). Elsewhere a
// no-op: the loops that call this busy-wait, and a spinning thread in a real-time
// scheduling class would starve a small machine.
void raiseProcessPriority();

// Give the calling thread the highest priority the platform grants within the
// normal scheduler (THREAD_PRIORITY_TIME_CRITICAL; on POSIX a lower nice value
// where permitted). A refusal is ignored.
void raiseThreadPriority();

}  // namespace portrelay::platform
