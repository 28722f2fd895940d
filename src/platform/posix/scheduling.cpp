#include "platform/scheduling.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace portrelay::platform {

void requestMillisecondTimer() {}  // hrtimers already give sub-millisecond sleeps

void raiseProcessPriority() {}  // no priority classes; see the header

void raiseThreadPriority() {
  // Linux applies a nice value per thread when given the thread id. -10 is well
  // above normal work yet leaves the rest of the machine responsive.
  const auto tid = static_cast<id_t>(syscall(SYS_gettid));
  (void)setpriority(PRIO_PROCESS, tid, -10);
}

}  // namespace portrelay::platform
