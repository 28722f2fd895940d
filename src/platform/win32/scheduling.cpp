#include "platform/scheduling.h"

#include <windows.h>
#include <timeapi.h>

namespace portrelay::platform {

void requestMillisecondTimer() { timeBeginPeriod(1); }

void raiseProcessPriority() { SetPriorityClass(GetCurrentProcess(), REALTIME_PRIORITY_CLASS); }

void raiseThreadPriority() { SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL); }

}  // namespace portrelay::platform
