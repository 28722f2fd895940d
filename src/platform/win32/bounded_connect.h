#pragma once
// A TCP connect that waits a bounded time, shared by the socket service and
// the stream transports of the Win32 tier.
#include <winsock2.h>

namespace portrelay::platform {

// Connects `socket` to `address` (any family), waiting at most `timeoutMs`
// (a negative time counts as none). The socket is left non-blocking. Returns
// 0 once connected, otherwise the Winsock error: WSAETIMEDOUT when the time
// ran out, WSAECONNREFUSED when the attempt failed without a reason.
int connectWithin(SOCKET socket, const sockaddr* address, int addressLength, int timeoutMs);

}  // namespace portrelay::platform
