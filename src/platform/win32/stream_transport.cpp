#include "platform/stream_transport.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <chrono>

#include "platform/win32/bounded_connect.h"

namespace portrelay::platform {
namespace {

uint32_t translatedSocketError(int code) {
  switch (code) {
    case WSAETIMEDOUT: return kErrorStreamTimeout;
    case WSAECONNREFUSED: return kErrorConnectionRefused;
    default: return code != 0 ? static_cast<uint32_t>(code) : kErrorConnectionReset;
  }
}

class TcpStream final : public StreamTransport {
 public:
  explicit TcpStream(SOCKET socket) : socket_(socket) {}
  ~TcpStream() override {
    closesocket(socket_);
    WSACleanup();  // the start-up of connectTcp
  }

  int receive(uint8_t* buffer, int capacity) override {
    if (error_ != 0) return -1;
    if (capacity <= 0) return 0;
    const int n = ::recv(socket_, reinterpret_cast<char*>(buffer), capacity, 0);
    if (n > 0) return n;
    if (n == SOCKET_ERROR && WSAGetLastError() == WSAEWOULDBLOCK) return 0;
    error_ = n == 0 ? kErrorConnectionReset : translatedSocketError(WSAGetLastError());
    return -1;
  }

  bool send(const uint8_t* data, int length, int timeoutMs) override {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (error_ == 0 && length > 0) {
      const int n = ::send(socket_, reinterpret_cast<const char*>(data), length, 0);
      if (n > 0) {
        data += n;
        length -= n;
        continue;
      }
      if (WSAGetLastError() != WSAEWOULDBLOCK) {
        error_ = translatedSocketError(WSAGetLastError());
        break;
      }
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      fd_set writable;
      FD_ZERO(&writable);
      FD_SET(socket_, &writable);
      const long ms = static_cast<long>(left.count());
      timeval limit{ms / 1000, (ms % 1000) * 1000};
      if (ms <= 0 || ::select(0, nullptr, &writable, nullptr, &limit) <= 0) {
        error_ = kErrorStreamTimeout;  // part of a packet may be out: the stream cannot be used any more
        break;
      }
    }
    return error_ == 0;
  }

  uint32_t error() const override { return error_; }

 private:
  SOCKET socket_;
  uint32_t error_ = 0;
};

class PipeStream final : public StreamTransport {
 public:
  explicit PipeStream(HANDLE pipe) : pipe_(pipe) {
    readEvent_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    writeEvent_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (readEvent_ == nullptr || writeEvent_ == nullptr) error_ = GetLastError();
    postRead();
  }
  ~PipeStream() override {
    if (readPending_) {
      CancelIoEx(pipe_, &read_);
      DWORD n = 0;
      GetOverlappedResult(pipe_, &read_, &n, TRUE);
    }
    CloseHandle(pipe_);
    if (readEvent_ != nullptr) CloseHandle(readEvent_);
    if (writeEvent_ != nullptr) CloseHandle(writeEvent_);
  }

  int receive(uint8_t* buffer, int capacity) override {
    if (readyAt_ == readyEnd_ && !collect()) return error_ != 0 ? -1 : 0;
    const DWORD count = static_cast<DWORD>(capacity) < readyEnd_ - readyAt_ ? static_cast<DWORD>(capacity)
                                                                           : readyEnd_ - readyAt_;
    CopyMemory(buffer, readBuffer_ + readyAt_, count);
    readyAt_ += count;
    if (readyAt_ == readyEnd_) postRead();
    return static_cast<int>(count);
  }

  bool send(const uint8_t* data, int length, int timeoutMs) override {
    if (error_ != 0) return false;
    OVERLAPPED write{};
    write.hEvent = writeEvent_;
    ResetEvent(writeEvent_);
    if (!WriteFile(pipe_, data, static_cast<DWORD>(length), nullptr, &write) && GetLastError() != ERROR_IO_PENDING) {
      error_ = GetLastError();
      return false;
    }
    DWORD written = 0;
    if (WaitForSingleObject(writeEvent_, static_cast<DWORD>(timeoutMs)) != WAIT_OBJECT_0) {
      CancelIoEx(pipe_, &write);
      GetOverlappedResult(pipe_, &write, &written, TRUE);
      error_ = kErrorStreamTimeout;
      return false;
    }
    if (!GetOverlappedResult(pipe_, &write, &written, FALSE)) error_ = GetLastError();
    else if (written != static_cast<DWORD>(length)) error_ = kErrorBrokenPipe;
    return error_ == 0;
  }

  uint32_t error() const override { return error_; }

 private:
  // Posts the next read; a read that completes at once is collected like any other.
  void postRead() {
    readyAt_ = readyEnd_ = 0;
    if (error_ != 0) return;
    read_ = OVERLAPPED{};
    read_.hEvent = readEvent_;
    ResetEvent(readEvent_);
    if (ReadFile(pipe_, readBuffer_, sizeof readBuffer_, nullptr, &read_) || GetLastError() == ERROR_IO_PENDING ||
        GetLastError() == ERROR_MORE_DATA) {
      readPending_ = true;
      return;
    }
    error_ = GetLastError();
  }

  // Takes the outstanding read when it has completed; false when it has not.
  bool collect() {
    if (!readPending_) return false;
    DWORD n = 0;
    if (!GetOverlappedResult(pipe_, &read_, &n, FALSE)) {
      const DWORD code = GetLastError();
      if (code == ERROR_IO_INCOMPLETE) return false;
      if (code != ERROR_MORE_DATA) {  // more of a pipe message follows in the next read
        readPending_ = false;
        error_ = code;
        return false;
      }
    }
    readPending_ = false;
    readyAt_ = 0;
    readyEnd_ = n;
    if (n == 0) postRead();
    return n != 0;
  }

  HANDLE pipe_;
  HANDLE readEvent_ = nullptr;
  HANDLE writeEvent_ = nullptr;
  OVERLAPPED read_{};
  bool readPending_ = false;
  uint8_t readBuffer_[65536];
  DWORD readyAt_ = 0, readyEnd_ = 0;
  uint32_t error_ = 0;
};

}  // namespace

std::unique_ptr<StreamTransport> connectNamedPipe(const std::string& path, int busyWaitMs, uint32_t& error) {
  for (int attempt = 0; attempt < 2; ++attempt) {
    HANDLE pipe = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OVERLAPPED, nullptr);
    if (pipe != INVALID_HANDLE_VALUE) {
      auto stream = std::make_unique<PipeStream>(pipe);
      error = stream->error();
      if (error != 0) return nullptr;
      return stream;
    }
    error = GetLastError();
    if (error != ERROR_PIPE_BUSY || attempt > 0 || !WaitNamedPipeA(path.c_str(), static_cast<DWORD>(busyWaitMs)))
      break;
  }
  if (error == ERROR_PIPE_BUSY) error = kErrorPipeBusy;
  return nullptr;
}

std::unique_ptr<StreamTransport> connectTcp(const std::string& host, const std::string& port, IpFamily family,
                                            bool noDelay, int timeoutMs, uint32_t& error) {
  WSADATA data{};
  if (WSAStartup(MAKEWORD(2, 2), &data) != 0) {
    error = kErrorConnectionRefused;
    return nullptr;
  }
  addrinfo hints{};
  hints.ai_family = family == IpFamily::V6 ? AF_INET6 : AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  addrinfo* results = nullptr;
  if (port.empty() || getaddrinfo(host.empty() ? nullptr : host.c_str(), port.c_str(), &hints, &results) != 0 ||
      results == nullptr) {
    error = kErrorHostNotFound;
    WSACleanup();
    return nullptr;
  }
  SOCKET s = ::socket(results->ai_family, results->ai_socktype, results->ai_protocol);
  int code = s == INVALID_SOCKET ? WSAGetLastError() : 0;
  if (code == 0) code = connectWithin(s, results->ai_addr, static_cast<int>(results->ai_addrlen), timeoutMs);
  freeaddrinfo(results);
  if (code != 0) {
    error = translatedSocketError(code);
    if (s != INVALID_SOCKET) closesocket(s);
    WSACleanup();
    return nullptr;
  }
  if (noDelay) {
    const BOOL on = TRUE;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
  }
  error = 0;
  return std::make_unique<TcpStream>(s);
}

}  // namespace portrelay::platform
