#include "net/udp.h"

#include <string>

#include "log/console.h"

namespace portrelay {

namespace {
std::string withError(const char* phrase) { return phrase + std::to_string(platform::lastSocketError()); }
}  // namespace

Udp::Udp() { logger.info("Udp class init"); }

bool Udp::open(int32_t port, uint32_t localAddress) {
  if (isOpen()) close();  // never lose an open socket
  logger.info("Opening port: " + std::to_string(port));
  const int startup = platform::startNetworking(winsockData);
  if (startup != 0) {
    logger.error("WSAStartup failed with error: " + std::to_string(startup));
    return false;
  }
  socketHandle = platform::openUdpSocket();
  if (socketHandle == platform::kInvalidSocket) {
    logger.error(withError("Socket creation failed with error: "));
    platform::stopNetworking();
    return false;
  }
  if (!platform::setNonBlocking(socketHandle)) {
    logger.error(withError("Setting non-blocking mode failed with error: "));
    platform::closeSocket(socketHandle);
    socketHandle = platform::kInvalidSocket;
    platform::stopNetworking();
    return false;
  }
  address = platform::anyAddress(static_cast<uint16_t>(port & 0xFFFF));
  if (localAddress != 0) address.address = localAddress;
  if (!platform::bindSocket(socketHandle, address)) {
    logger.error(withError("Binding socket failed with error: "));
    platform::closeSocket(socketHandle);
    socketHandle = platform::kInvalidSocket;
    platform::stopNetworking();
    return false;
  }
  holdsStartup_ = true;
  logger.info("Port " + std::to_string(port) + " opened successfully.");
  return true;
}

int Udp::close() {
  if (socketHandle != platform::kInvalidSocket) platform::closeSocket(socketHandle);
  socketHandle = platform::kInvalidSocket;
  if (holdsStartup_) platform::stopNetworking();
  holdsStartup_ = false;
  logger.info("Port closed.");
  return 0;
}

std::vector<uint8_t> Udp::receive() {
  std::vector<uint8_t> datagram(kBufferSize, 0);
  if (socketHandle == platform::kInvalidSocket) return {};
  if (platform::waitReadable(socketHandle, 1) != platform::Readiness::Ready) return {};
  addressLength = platform::kSocketAddressLength;
  const int n = platform::receiveFrom(socketHandle, datagram.data(), kBufferSize, &address, &addressLength);
  if (n <= 0) return {};
  datagram.resize(static_cast<size_t>(n));
  return datagram;
}

int Udp::receiveDatagram() {
  if (socketHandle == platform::kInvalidSocket) return -1;
  addressLength = platform::kSocketAddressLength;
  return platform::receiveFrom(socketHandle, receiveBuffer, kBufferSize, &address, &addressLength);
}

// A probe that could not watch the port answers 0: an earlier "seen" must not
// make a game look present while, say, another program holds its port.
int32_t Udp::probe(int32_t port) {
  if (isOpen()) return dataSeen = 0;  // the open socket is not ours to replace
  platform::NetworkStartup startup;
  const int result = platform::startNetworking(startup);
  winsockData = startup;
  if (result != 0) {
    printConsole(L"WSAStartup failed with error: %d\n", result);
    return dataSeen = 0;
  }
  socketHandle = platform::openUdpSocket();
  if (socketHandle == platform::kInvalidSocket) {
    printConsole(L"socket failed with error: %ld\n", static_cast<long>(platform::lastSocketError()));
    platform::stopNetworking();
    return dataSeen = 0;
  }
  const auto release = [this] {
    if (!platform::closeSocket(socketHandle))
      printConsole(L"Closesocket failed with error: %d\n", platform::lastSocketError());
    socketHandle = platform::kInvalidSocket;
    platform::stopNetworking();
  };
  if (!platform::setNonBlocking(socketHandle)) {
    printConsole(L"ioctl Socket failed with error: %ld\n", static_cast<long>(platform::lastSocketError()));
    platform::closeSocket(socketHandle);
    socketHandle = platform::kInvalidSocket;
    platform::stopNetworking();
    return dataSeen = 0;
  }
  address = platform::anyAddress(static_cast<uint16_t>(port & 0xFFFF));
  if (!platform::bindSocket(socketHandle, address)) {
    printConsole(L"bind socket failed with error: %ld\n", static_cast<long>(platform::lastSocketError()));
    platform::closeSocket(socketHandle);
    socketHandle = platform::kInvalidSocket;
    platform::stopNetworking();
    return dataSeen = 0;
  }
  switch (platform::waitReadable(socketHandle, kProbeWindowUs)) {
    case platform::Readiness::Ready: {
      addressLength = platform::kSocketAddressLength;
      if (platform::receiveFrom(socketHandle, receiveBuffer, kProbeReceiveSize, &address, &addressLength) < 0)
        printConsole(L"Recv failed: %ld\n", static_cast<long>(platform::lastSocketError()));
      dataSeen = 1;
      break;
    }
    case platform::Readiness::Timeout:
      dataSeen = 0;
      break;
    case platform::Readiness::Failed:
      dataSeen = 0;
      break;
  }
  release();
  return dataSeen;
}

}  // namespace portrelay
