#include "platform/notification.h"

namespace portrelay::platform {

void postWindowMessage(intptr_t, uint32_t) {}
void signalEventHandle(intptr_t) {}

}  // namespace portrelay::platform
