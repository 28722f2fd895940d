#include "platform/win32/bounded_connect.h"

namespace portrelay::platform {

int connectWithin(SOCKET socket, const sockaddr* address, int addressLength, int timeoutMs) {
  u_long nonBlocking = 1;
  if (ioctlsocket(socket, FIONBIO, &nonBlocking) != 0) return WSAGetLastError();
  if (::connect(socket, address, addressLength) == 0) return 0;
  int error = WSAGetLastError();
  if (error != WSAEWOULDBLOCK) return error;
  fd_set writable, failed;
  FD_ZERO(&writable);
  FD_ZERO(&failed);
  FD_SET(socket, &writable);
  FD_SET(socket, &failed);
  if (timeoutMs < 0) timeoutMs = 0;
  timeval limit{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
  const int ready = ::select(0, nullptr, &writable, &failed, &limit);
  if (ready == 0) return WSAETIMEDOUT;
  if (ready < 0) return WSAGetLastError();
  int length = sizeof error;
  error = 0;
  getsockopt(socket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length);
  if (error == 0 && !FD_ISSET(socket, &writable)) error = WSAECONNREFUSED;
  return error;
}

}  // namespace portrelay::platform
