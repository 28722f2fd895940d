#include "platform/scheduling.h"

#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace portrelay::platform {

// hrtimers already give sub-millisecond sleeps, but a normal thread's sleeps
// may end up to 50 µs late by default (the timer slack, for merging wake-ups):
// the paced loops ask for their sleeps to end on time.
void requestMillisecondTimer() { (void)prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL); }

void raiseProcessPriority() {}  // no priority classes; see the header

void raiseThreadPriority() {
  // Linux applies a nice value per thread when given the thread id. -10 is well
  // above normal work yet leaves the rest of the machine responsive.
  const auto tid = static_cast<id_t>(syscall(SYS_gettid));
  (void)setpriority(PRIO_PROCESS, tid, -10);
}

}  // namespace portrelay::platform
