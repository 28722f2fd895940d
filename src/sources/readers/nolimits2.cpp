#include "sources/readers/nolimits2.h"

#include "log/diagnostics.h"

#include <algorithm>
#include <cstdio>
#include <string>

namespace portrelay::readers {

namespace {

constexpr uint16_t kIdleRequest = 0;
constexpr uint32_t kHandshakeRequestId = 1234;

void reportError(const char* message, int code) {
  const std::string text = std::string(message) + ": " + platform::socketErrorText(code) + "\n";
  emitDiagnostic(DiagnosticLevel::error, text);
}

// The connection steps shared by the handshake and attach; on failure the
// socket is closed and the error written.
platform::SocketHandle connectToServer(uint16_t port) {
  platform::SocketHandle socket = platform::openTcpSocket();
  if (socket == platform::kInvalidSocket) {
    reportError("Error creating socket", platform::lastSocketError());
    return socket;
  }
  if (!platform::connectSocket(socket, platform::loopbackAddress(port), kNoLimitsWaitMs)) {
    reportError("Error connecting to server", platform::lastSocketError());
    platform::closeSocket(socket);
    return platform::kInvalidSocket;
  }
  if (!platform::setNonBlocking(socket)) {
    reportError("Error setting socket as non-blocking", platform::lastSocketError());
    platform::closeSocket(socket);
    return platform::kInvalidSocket;
  }
  return socket;
}

}  // namespace

std::array<uint8_t, 10> noLimitsRequest(uint16_t type, uint32_t requestId) {
  return {'N',
          static_cast<uint8_t>(type >> 8),
          static_cast<uint8_t>(type),
          static_cast<uint8_t>(requestId >> 24),
          static_cast<uint8_t>(requestId >> 16),
          static_cast<uint8_t>(requestId >> 8),
          static_cast<uint8_t>(requestId),
          0,
          0,
          'L'};
}

bool noLimitsHandshake(uint16_t port) {
  platform::NetworkStartup startup;
  const int result = platform::startNetworking(startup);
  if (result != 0) {
    reportError("Error initializing Winsock", result);
    return false;
  }
  bool answered = false;
  const platform::SocketHandle socket = connectToServer(port);
  if (socket != platform::kInvalidSocket) {
    const auto request = noLimitsRequest(kIdleRequest, kHandshakeRequestId);
    if (platform::sendBytes(socket, request.data(), static_cast<int>(request.size())) !=
        static_cast<int>(request.size())) {
      reportError("Error sending data", platform::lastSocketError());
    } else {
      const platform::Readiness ready = platform::waitReadable(socket, kNoLimitsWaitMs * 1000L);
      if (ready == platform::Readiness::Failed) reportError("Error in select", platform::lastSocketError());
      answered = ready == platform::Readiness::Ready;
    }
    platform::closeSocket(socket);
  }
  platform::stopNetworking();
  return answered;
}

bool NoLimits2Reader::attach() {
  detach();
  platform::NetworkStartup startup;
  const int result = platform::startNetworking(startup);
  if (result != 0) {
    reportError("Error initializing Winsock", result);
    return false;
  }
  socket_ = connectToServer(port_);
  stream_.clear();
  sendFailing_ = false;
  if (socket_ == platform::kInvalidSocket) {
    platform::stopNetworking();
    return false;
  }
  holdsStartup_ = true;
  return true;
}

void NoLimits2Reader::requestTelemetry() {
  const auto request = noLimitsRequest(kNoLimitsTelemetryRequest, kNoLimitsTelemetryRequestId);
  const bool sent = platform::sendBytes(socket_, request.data(), static_cast<int>(request.size())) ==
                    static_cast<int>(request.size());
  // Said once when the failures start, not on every 2-ms cycle that follows.
  if (!sent && !sendFailing_) reportError("Error sending data", platform::lastSocketError());
  sendFailing_ = !sent;
}

bool NoLimits2Reader::read(SampleRecord& record) {
  if (!connected()) return false;
  requestTelemetry();
  if (platform::waitReadable(socket_, 0) != platform::Readiness::Ready) return false;
  constexpr size_t kLargestReceive = 1000;
  const int n = platform::receiveBytes(socket_, stream_.tail(), static_cast<int>(std::min(stream_.room(), kLargestReceive)));
  if (n <= 0) return false;  // nothing, or the server left
  stream_.appended(static_cast<size_t>(n));
  if (!stream_.takeNewestAnswer(answer_)) return false;
  timer_.markInterval();
  const double timeFrameMs = timer_.lastIntervalMs();
  if (!decodeNoLimitsAnswer({answer_.data(), answer_.size()}, timeFrameMs, state_, record)) return false;
  record.timeFrame = timeFrameMs;
  return true;
}

void NoLimits2Reader::detach() {
  if (socket_ != platform::kInvalidSocket) platform::closeSocket(socket_);
  socket_ = platform::kInvalidSocket;
  if (holdsStartup_) platform::stopNetworking();
  holdsStartup_ = false;
}

}  // namespace portrelay::readers
