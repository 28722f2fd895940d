// Waking a program that waits for data: a message posted to one of its windows,
// or an event handle it waits on. POSIX has neither window nor event handles of
// this kind; a program there polls, and both calls do nothing.
#pragma once
#include <cstdint>

namespace portrelay::platform {

// PostMessage(window, message, 0, 0); nothing for a null window.
void postWindowMessage(intptr_t window, uint32_t message);
// SetEvent(event); nothing for a null handle.
void signalEventHandle(intptr_t event);

}  // namespace portrelay::platform
