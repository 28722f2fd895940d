// The simulator's named pipe: one instance, byte mode, overlapped; a client
// that leaves frees the instance for the next.
#include <windows.h>

#include "simserver/server_link.h"

namespace simserver {
namespace {

class PipeInstance {
 public:
  explicit PipeInstance(HANDLE pipe) : pipe_(pipe) {
    readEvent_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    writeEvent_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  }
  ~PipeInstance() {
    cancelRead();
    CloseHandle(pipe_);
    CloseHandle(readEvent_);
    CloseHandle(writeEvent_);
  }
  HANDLE handle() const { return pipe_; }

  int receive(uint8_t* buffer, int capacity, int timeoutMs) {
    if (!reading_) {
      read_ = OVERLAPPED{};
      read_.hEvent = readEvent_;
      ResetEvent(readEvent_);
      if (!ReadFile(pipe_, buffer_, sizeof buffer_, nullptr, &read_) && GetLastError() != ERROR_IO_PENDING &&
          GetLastError() != ERROR_MORE_DATA)
        return -1;
      reading_ = true;
    }
    if (WaitForSingleObject(readEvent_, static_cast<DWORD>(timeoutMs)) != WAIT_OBJECT_0) return 0;
    DWORD n = 0;
    reading_ = false;
    if (!GetOverlappedResult(pipe_, &read_, &n, FALSE) && GetLastError() != ERROR_MORE_DATA) return -1;
    if (n == 0) return 0;
    const int count = static_cast<int>(n) < capacity ? static_cast<int>(n) : capacity;
    CopyMemory(buffer, buffer_, static_cast<size_t>(count));
    return count;
  }

  bool send(const uint8_t* data, int length) {
    OVERLAPPED write{};
    write.hEvent = writeEvent_;
    ResetEvent(writeEvent_);
    if (!WriteFile(pipe_, data, static_cast<DWORD>(length), nullptr, &write) && GetLastError() != ERROR_IO_PENDING)
      return false;
    DWORD n = 0;
    return GetOverlappedResult(pipe_, &write, &n, TRUE) && n == static_cast<DWORD>(length);
  }

  void cancelRead() {
    if (!reading_) return;
    CancelIoEx(pipe_, &read_);
    DWORD n = 0;
    GetOverlappedResult(pipe_, &read_, &n, TRUE);
    reading_ = false;
  }

 private:
  HANDLE pipe_;
  HANDLE readEvent_;
  HANDLE writeEvent_;
  OVERLAPPED read_{};
  bool reading_ = false;
  uint8_t buffer_[16384];
};

class PipeLink final : public ServerLink {
 public:
  explicit PipeLink(std::shared_ptr<PipeInstance> pipe) : pipe_(std::move(pipe)) {}
  ~PipeLink() override {
    pipe_->cancelRead();
    DisconnectNamedPipe(pipe_->handle());
  }
  int receive(uint8_t* buffer, int capacity, int timeoutMs) override {
    return pipe_->receive(buffer, capacity, timeoutMs);
  }
  bool send(const uint8_t* data, int length) override { return pipe_->send(data, length); }

 private:
  std::shared_ptr<PipeInstance> pipe_;
};

class PipeListener final : public ServerListener {
 public:
  explicit PipeListener(std::shared_ptr<PipeInstance> pipe) : pipe_(std::move(pipe)) {
    connectEvent_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  }
  ~PipeListener() override {
    if (connecting_) {
      CancelIoEx(pipe_->handle(), &connect_);
      DWORD n = 0;
      GetOverlappedResult(pipe_->handle(), &connect_, &n, TRUE);
    }
    CloseHandle(connectEvent_);
  }

  std::unique_ptr<ServerLink> accept(int timeoutMs) override {
    if (!connecting_) {
      connect_ = OVERLAPPED{};
      connect_.hEvent = connectEvent_;
      ResetEvent(connectEvent_);
      if (ConnectNamedPipe(pipe_->handle(), &connect_)) return std::make_unique<PipeLink>(pipe_);
      const DWORD code = GetLastError();
      if (code == ERROR_PIPE_CONNECTED) return std::make_unique<PipeLink>(pipe_);
      if (code != ERROR_IO_PENDING) {
        DisconnectNamedPipe(pipe_->handle());
        Sleep(static_cast<DWORD>(timeoutMs));
        return nullptr;
      }
      connecting_ = true;
    }
    if (WaitForSingleObject(connectEvent_, static_cast<DWORD>(timeoutMs)) != WAIT_OBJECT_0) return nullptr;
    connecting_ = false;
    DWORD n = 0;
    if (!GetOverlappedResult(pipe_->handle(), &connect_, &n, FALSE)) return nullptr;
    return std::make_unique<PipeLink>(pipe_);
  }

 private:
  std::shared_ptr<PipeInstance> pipe_;
  HANDLE connectEvent_;
  OVERLAPPED connect_{};
  bool connecting_ = false;
};

}  // namespace

std::unique_ptr<ServerListener> listenPipe(const std::string& name) {
  const std::string path = "\\\\.\\pipe\\" + name;
  HANDLE pipe = CreateNamedPipeA(path.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                 PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1, 65536, 65536, 0, nullptr);
  if (pipe == INVALID_HANDLE_VALUE) return nullptr;
  return std::make_unique<PipeListener>(std::make_shared<PipeInstance>(pipe));
}

}  // namespace simserver
