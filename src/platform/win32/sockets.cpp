#include "platform/sockets.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include "platform/win32/bounded_connect.h"

namespace portrelay::platform {
namespace {

SOCKET toNative(SocketHandle socket) { return static_cast<SOCKET>(socket); }

sockaddr_in toNative(const SocketAddress& address) {
  sockaddr_in native{};
  native.sin_family = AF_INET;
  native.sin_port = address.port;
  native.sin_addr.s_addr = address.address;
  return native;
}

SocketAddress fromNative(const sockaddr_in& native) {
  SocketAddress address;
  address.family = static_cast<uint16_t>(native.sin_family);
  address.port = native.sin_port;
  address.address = native.sin_addr.s_addr;
  return address;
}

bool setBlocking(SOCKET socket, bool blocking) {
  u_long mode = blocking ? 0 : 1;
  return ioctlsocket(socket, FIONBIO, &mode) == 0;
}

}  // namespace

int startNetworking(NetworkStartup& startup) {
  WSADATA data{};
  const int result = WSAStartup(MAKEWORD(2, 2), &data);
  startup.version = data.wVersion;
  startup.highVersion = data.wHighVersion;
  return result;
}

void stopNetworking() { WSACleanup(); }

SocketHandle openUdpSocket() { return static_cast<SocketHandle>(::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP)); }

SocketHandle openTcpSocket() { return static_cast<SocketHandle>(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP)); }

bool setNonBlocking(SocketHandle socket) { return setBlocking(toNative(socket), false); }

bool bindSocket(SocketHandle socket, const SocketAddress& address) {
  const sockaddr_in native = toNative(address);
  return ::bind(toNative(socket), reinterpret_cast<const sockaddr*>(&native), sizeof native) == 0;
}

bool connectSocket(SocketHandle socket, const SocketAddress& address, int timeoutMs) {
  const SOCKET s = toNative(socket);
  const sockaddr_in native = toNative(address);
  const int error = connectWithin(s, reinterpret_cast<const sockaddr*>(&native), sizeof native, timeoutMs);
  setBlocking(s, true);
  if (error != 0) WSASetLastError(error);
  return error == 0;
}

bool listenSocket(SocketHandle socket, int backlog) { return ::listen(toNative(socket), backlog) == 0; }

SocketHandle acceptConnection(SocketHandle socket) {
  return static_cast<SocketHandle>(::accept(toNative(socket), nullptr, nullptr));
}

bool closeSocket(SocketHandle socket) { return socket != kInvalidSocket && ::closesocket(toNative(socket)) == 0; }

int receiveFrom(SocketHandle socket, void* buffer, int length, SocketAddress* from, int32_t* fromLength) {
  sockaddr_in sender{};
  int senderLength = sizeof sender;
  const int n = ::recvfrom(toNative(socket), static_cast<char*>(buffer), length, 0,
                           reinterpret_cast<sockaddr*>(&sender), &senderLength);
  if (n == SOCKET_ERROR) return -1;
  if (from != nullptr) *from = fromNative(sender);
  if (fromLength != nullptr) *fromLength = senderLength;
  return n;
}

int sendTo(SocketHandle socket, const void* data, int length, const SocketAddress& to) {
  const sockaddr_in native = toNative(to);
  return ::sendto(toNative(socket), static_cast<const char*>(data), length, 0,
                  reinterpret_cast<const sockaddr*>(&native), sizeof native);
}

int sendBytes(SocketHandle socket, const void* data, int length) {
  return ::send(toNative(socket), static_cast<const char*>(data), length, 0);
}

int receiveBytes(SocketHandle socket, void* buffer, int length) {
  return ::recv(toNative(socket), static_cast<char*>(buffer), length, 0);
}

Readiness waitReadable(SocketHandle socket, long microseconds) {
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(toNative(socket), &readable);
  timeval limit{static_cast<long>(microseconds / 1000000), static_cast<long>(microseconds % 1000000)};
  const int ready = ::select(0, &readable, nullptr, nullptr, &limit);
  if (ready == SOCKET_ERROR) return Readiness::Failed;
  return ready == 0 ? Readiness::Timeout : Readiness::Ready;
}

SocketAddress localAddress(SocketHandle socket) {
  sockaddr_in native{};
  int length = sizeof native;
  if (::getsockname(toNative(socket), reinterpret_cast<sockaddr*>(&native), &length) != 0) return {};
  return fromNative(native);
}

int lastSocketError() { return WSAGetLastError(); }

std::string socketErrorText(int code) {
  char text[512] = {};
  const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                 static_cast<DWORD>(code), 0, text, sizeof text, nullptr);
  std::string out(text, n);
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == ' ')) out.pop_back();
  return out.empty() ? "error " + std::to_string(code) : out;
}

}  // namespace portrelay::platform
