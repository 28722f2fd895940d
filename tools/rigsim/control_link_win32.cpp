#include "control_link_win32.h"

#include <ws2tcpip.h>
#include <windows.h>

#include "virtual_rig.h"

namespace rigsim {

ControlLink::~ControlLink() {
  if (socket_ != INVALID_SOCKET) {
    // rigsim ends with its connection: it stops its device (removing the
    // link) and then closes its side, which is waited for here (at most 5 s).
    shutdown(socket_, SD_SEND);
    DWORD timeoutMs = 5000;
    setsockopt(socket_, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeoutMs), sizeof timeoutMs);
    char buffer[256];
    while (recv(socket_, buffer, sizeof buffer, 0) > 0) {
    }
    closesocket(socket_);
  }
  if (started_) WSACleanup();
}

bool ControlLink::start(const std::string& arguments) {
  WSADATA data;
  if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return false;
  started_ = true;
  SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (listener == INVALID_SOCKET) return false;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int length = sizeof address;
  if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(listener, 1) != 0 ||
      getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    closesocket(listener);
    return false;
  }
  std::string commandLine =
      std::string(RIGSIM_NATIVE_PROGRAM) + " " + arguments + " --control " + std::to_string(ntohs(address.sin_port));
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process)) {
    closesocket(listener);
    return false;
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  fd_set ready;
  FD_ZERO(&ready);
  FD_SET(listener, &ready);
  timeval wait{10, 0};
  if (select(0, &ready, nullptr, nullptr, &wait) == 1) socket_ = accept(listener, nullptr, nullptr);
  closesocket(listener);
  return socket_ != INVALID_SOCKET && command("now").rfind("ok", 0) == 0;
}

std::string ControlLink::command(const std::string& line) {
  const std::string text = line + "\n";
  if (socket_ == INVALID_SOCKET ||
      send(socket_, text.data(), static_cast<int>(text.size()), 0) != static_cast<int>(text.size()))
    return "error";
  return readLine();
}

std::string ControlLink::readLine() {
  for (;;) {
    const size_t end = pending_.find('\n');
    if (end != std::string::npos) {
      std::string line = pending_.substr(0, end);
      pending_.erase(0, end + 1);
      return line;
    }
    char buffer[4096];
    const int n = recv(socket_, buffer, sizeof buffer, 0);
    if (n <= 0) return "error";
    pending_.append(buffer, static_cast<size_t>(n));
  }
}

int64_t ControlLink::clockOffsetNs() {
  int64_t best = 0, bestTrip = INT64_MAX;
  for (int i = 0; i < 9; ++i) {
    const int64_t before = monotonicNs();
    const std::string answer = command("now");
    const int64_t after = monotonicNs();
    if (answer.rfind("ok ", 0) != 0) continue;
    const int64_t remote = std::stoll(answer.substr(3));
    if (after - before < bestTrip) {
      bestTrip = after - before;
      best = remote - (before + (after - before) / 2);
    }
  }
  return best;
}

}  // namespace rigsim
