#include "platform/sockets.h"

#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <cstring>

namespace portrelay::platform {
namespace {

int toFd(SocketHandle socket) { return static_cast<int>(static_cast<intptr_t>(socket)); }
SocketHandle fromFd(int fd) { return fd < 0 ? kInvalidSocket : static_cast<SocketHandle>(fd); }

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

bool setBlocking(int fd, bool blocking) {
  const int flags = fcntl(fd, F_GETFL, 0);
  if (flags < 0) return false;
  return fcntl(fd, F_SETFL, blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK)) == 0;
}

}  // namespace

int startNetworking(NetworkStartup& startup) {
  startup.version = 0x0202;
  startup.highVersion = 0x0202;
  return 0;
}

void stopNetworking() {}

SocketHandle openUdpSocket() { return fromFd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP)); }

SocketHandle openTcpSocket() { return fromFd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP)); }

bool setNonBlocking(SocketHandle socket) { return setBlocking(toFd(socket), false); }

bool bindSocket(SocketHandle socket, const SocketAddress& address) {
  const sockaddr_in native = toNative(address);
  return ::bind(toFd(socket), reinterpret_cast<const sockaddr*>(&native), sizeof native) == 0;
}

bool connectSocket(SocketHandle socket, const SocketAddress& address, int timeoutMs) {
  const int fd = toFd(socket);
  if (!setBlocking(fd, false)) return false;
  const sockaddr_in native = toNative(address);
  bool connected = ::connect(fd, reinterpret_cast<const sockaddr*>(&native), sizeof native) == 0;
  int error = errno;
  if (!connected && error == EINPROGRESS) {
    pollfd entry{fd, POLLOUT, 0};
    const int ready = ::poll(&entry, 1, timeoutMs);
    if (ready > 0) {
      socklen_t length = sizeof error;
      error = 0;
      getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length);
      connected = error == 0;
    } else {
      error = ready == 0 ? ETIMEDOUT : errno;
    }
  }
  setBlocking(fd, true);
  if (!connected) errno = error;
  return connected;
}

bool listenSocket(SocketHandle socket, int backlog) { return ::listen(toFd(socket), backlog) == 0; }

SocketHandle acceptConnection(SocketHandle socket) { return fromFd(::accept4(toFd(socket), nullptr, nullptr, SOCK_CLOEXEC)); }

bool closeSocket(SocketHandle socket) { return socket != kInvalidSocket && ::close(toFd(socket)) == 0; }

int receiveFrom(SocketHandle socket, void* buffer, int length, SocketAddress* from, int32_t* fromLength) {
  if (length < 0) length = 0;
  sockaddr_in sender{};
  iovec part{buffer, static_cast<size_t>(length)};
  msghdr message{};
  message.msg_name = &sender;
  message.msg_namelen = sizeof sender;
  message.msg_iov = &part;
  message.msg_iovlen = 1;
  const ssize_t n = ::recvmsg(toFd(socket), &message, 0);
  if (n < 0) return -1;
  if ((message.msg_flags & MSG_TRUNC) != 0) {
    errno = EMSGSIZE;  // the datagram did not fit and is gone, as with Winsock
    return -1;
  }
  if (from != nullptr) *from = fromNative(sender);
  if (fromLength != nullptr) *fromLength = kSocketAddressLength;
  return static_cast<int>(n);
}

int sendTo(SocketHandle socket, const void* data, int length, const SocketAddress& to) {
  const sockaddr_in native = toNative(to);
  return static_cast<int>(::sendto(toFd(socket), data, static_cast<size_t>(length), MSG_NOSIGNAL,
                                   reinterpret_cast<const sockaddr*>(&native), sizeof native));
}

int sendBytes(SocketHandle socket, const void* data, int length) {
  return static_cast<int>(::send(toFd(socket), data, static_cast<size_t>(length), MSG_NOSIGNAL));
}

int receiveBytes(SocketHandle socket, void* buffer, int length) {
  return static_cast<int>(::recv(toFd(socket), buffer, static_cast<size_t>(length), 0));
}

Readiness waitReadable(SocketHandle socket, long microseconds) {
  pollfd entry{toFd(socket), POLLIN, 0};
  if (microseconds < 0) microseconds = 0;
  // ppoll keeps the microsecond resolution that select() offers.
  const timespec limit{microseconds / 1000000, (microseconds % 1000000) * 1000};
  const int ready = ::ppoll(&entry, 1, &limit, nullptr);
  if (ready < 0 || (ready > 0 && (entry.revents & POLLNVAL) != 0)) return Readiness::Failed;
  return ready == 0 ? Readiness::Timeout : Readiness::Ready;
}

SocketAddress localAddress(SocketHandle socket) {
  sockaddr_in native{};
  socklen_t length = sizeof native;
  if (::getsockname(toFd(socket), reinterpret_cast<sockaddr*>(&native), &length) != 0) return {};
  return fromNative(native);
}

int lastSocketError() { return errno; }

std::string socketErrorText(int code) { return std::strerror(code); }

}  // namespace portrelay::platform
