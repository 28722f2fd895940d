// TCP on the IPv4 loopback, through the library's socket layer.
#include "platform/sockets.h"
#include "simserver/server_link.h"

namespace simserver {
namespace {

namespace platform = portrelay::platform;

class TcpLink final : public ServerLink {
 public:
  explicit TcpLink(platform::SocketHandle socket) : socket_(socket) {}
  ~TcpLink() override { platform::closeSocket(socket_); }

  int receive(uint8_t* buffer, int capacity, int timeoutMs) override {
    const auto ready = platform::waitReadable(socket_, static_cast<long>(timeoutMs) * 1000);
    if (ready == platform::Readiness::Timeout) return 0;
    if (ready == platform::Readiness::Failed) return -1;
    const int n = platform::receiveBytes(socket_, buffer, capacity);
    return n > 0 ? n : -1;
  }

  bool send(const uint8_t* data, int length) override {
    while (length > 0) {
      const int n = platform::sendBytes(socket_, data, length);
      if (n <= 0) return false;
      data += n;
      length -= n;
    }
    return true;
  }

 private:
  platform::SocketHandle socket_;
};

class TcpListener final : public ServerListener {
 public:
  explicit TcpListener(platform::SocketHandle socket) : socket_(socket) {}
  ~TcpListener() override {
    platform::closeSocket(socket_);
    platform::stopNetworking();
  }
  std::unique_ptr<ServerLink> accept(int timeoutMs) override {
    if (platform::waitReadable(socket_, static_cast<long>(timeoutMs) * 1000) != platform::Readiness::Ready)
      return nullptr;
    const platform::SocketHandle client = platform::acceptConnection(socket_);
    if (client == platform::kInvalidSocket) return nullptr;
    return std::make_unique<TcpLink>(client);
  }

 private:
  platform::SocketHandle socket_;
};

}  // namespace

std::unique_ptr<ServerListener> listenTcp(uint16_t& port) {
  platform::NetworkStartup startup;
  if (platform::startNetworking(startup) != 0) return nullptr;
  const platform::SocketHandle socket = platform::openTcpSocket();
  if (socket == platform::kInvalidSocket || !platform::bindSocket(socket, platform::loopbackAddress(port)) ||
      !platform::listenSocket(socket, 4)) {
    platform::closeSocket(socket);
    platform::stopNetworking();
    return nullptr;
  }
  port = platform::portOf(platform::localAddress(socket));
  return std::make_unique<TcpListener>(socket);
}

}  // namespace simserver
