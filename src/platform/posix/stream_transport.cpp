#include "platform/stream_transport.h"

#include <errno.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

namespace portrelay::platform {
namespace {

uint32_t translated(int code) {
  switch (code) {
    case ECONNREFUSED: return kErrorConnectionRefused;
    case ETIMEDOUT: return kErrorStreamTimeout;
    case ENOENT: return kErrorFileNotFound;
    default: return kErrorConnectionReset;
  }
}

class TcpStream final : public StreamTransport {
 public:
  explicit TcpStream(int fd) : fd_(fd) {}
  ~TcpStream() override { ::close(fd_); }

  int receive(uint8_t* buffer, int capacity) override {
    if (error_ != 0) return -1;
    if (capacity <= 0) return 0;
    const ssize_t n = ::recv(fd_, buffer, static_cast<size_t>(capacity), MSG_DONTWAIT);
    if (n > 0) return static_cast<int>(n);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return 0;
    error_ = n == 0 ? kErrorConnectionReset : translated(errno);  // 0: the server closed the stream
    return -1;
  }

  bool send(const uint8_t* data, int length, int timeoutMs) override {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (error_ == 0 && length > 0) {
      const ssize_t n = ::send(fd_, data, static_cast<size_t>(length), MSG_NOSIGNAL | MSG_DONTWAIT);
      if (n > 0) {
        data += n;
        length -= static_cast<int>(n);
        continue;
      }
      if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
        error_ = translated(errno);
        break;
      }
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      pollfd entry{fd_, POLLOUT, 0};
      if (left.count() <= 0 || ::poll(&entry, 1, static_cast<int>(left.count())) == 0) {
        error_ = kErrorStreamTimeout;  // part of a packet may be out: the stream cannot be used any more
        break;
      }
    }
    return error_ == 0;
  }

  uint32_t error() const override { return error_; }

 private:
  int fd_;
  uint32_t error_ = 0;
};

}  // namespace

std::unique_ptr<StreamTransport> connectNamedPipe(const std::string&, int, uint32_t& error) {
  error = kErrorFileNotFound;
  return nullptr;
}

std::unique_ptr<StreamTransport> connectTcp(const std::string& host, const std::string& port, IpFamily family,
                                            bool noDelay, int timeoutMs, uint32_t& error) {
  addrinfo hints{};
  hints.ai_family = family == IpFamily::V6 ? AF_INET6 : AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  addrinfo* results = nullptr;
  if (port.empty() || ::getaddrinfo(host.empty() ? nullptr : host.c_str(), port.c_str(), &hints, &results) != 0 ||
      results == nullptr) {
    error = kErrorHostNotFound;
    return nullptr;
  }
  const int fd = ::socket(results->ai_family, results->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK,
                          results->ai_protocol);
  if (fd < 0) {
    error = translated(errno);
    ::freeaddrinfo(results);
    return nullptr;
  }
  int code = 0;
  if (::connect(fd, results->ai_addr, results->ai_addrlen) != 0) {
    code = errno;
    if (code == EINPROGRESS) {
      pollfd entry{fd, POLLOUT, 0};
      const int ready = ::poll(&entry, 1, timeoutMs);
      socklen_t length = sizeof code;
      code = ETIMEDOUT;
      if (ready > 0) ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &code, &length);
    }
  }
  ::freeaddrinfo(results);
  if (code != 0) {
    error = translated(code);
    ::close(fd);
    return nullptr;
  }
  if (noDelay) {
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  }
  error = 0;
  return std::make_unique<TcpStream>(fd);
}

}  // namespace portrelay::platform
