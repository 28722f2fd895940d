#include "platform/notification.h"

#include <windows.h>

namespace portrelay::platform {

void postWindowMessage(intptr_t window, uint32_t message) {
  if (window != 0) PostMessageA(reinterpret_cast<HWND>(window), message, 0, 0);
}

void signalEventHandle(intptr_t event) {
  if (event != 0) SetEvent(reinterpret_cast<HANDLE>(event));
}

}  // namespace portrelay::platform
