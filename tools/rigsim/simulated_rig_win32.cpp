// Windows side: the rig runs in the native rigsim program (only a native
// process can own a pseudo-terminal); this process steers it over loopback TCP.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <string>

#include "control_protocol.h"
#include "simulated_rig.h"

namespace rigsim {

class SimulatedRig::Backend {
 public:
  ~Backend() {
    if (socket_ != INVALID_SOCKET) closesocket(socket_);  // rigsim ends with its connection
    if (started_) WSACleanup();
  }

  bool start(const std::string& linkPath) {
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
    std::string command = std::string(RIGSIM_NATIVE_PROGRAM) + " --link " + linkPath + " --control " +
                          std::to_string(ntohs(address.sin_port));
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
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
    return socket_ != INVALID_SOCKET && command_("now").rfind("ok", 0) == 0;
  }

  // Sends one command and returns its first answer line.
  std::string command_(const std::string& line) {
    const std::string text = line + "\n";
    if (socket_ == INVALID_SOCKET || send(socket_, text.data(), static_cast<int>(text.size()), 0) != static_cast<int>(text.size()))
      return "error";
    return readLine();
  }

  std::string readLine() {
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

 private:
  bool started_ = false;
  SOCKET socket_ = INVALID_SOCKET;
  std::string pending_;
};

SimulatedRig::SimulatedRig() : backend_(std::make_unique<Backend>()) {}
SimulatedRig::~SimulatedRig() = default;

bool SimulatedRig::start(const std::string& linkPath) { return backend_->start(linkPath); }
void SimulatedRig::setReplyForm(ReplyForm form) { backend_->command_(std::string("reply ") + replyFormName(form)); }
void SimulatedRig::setBehaviour(Behaviour behaviour) {
  backend_->command_(std::string("behave ") + behaviourName(behaviour));
}
void SimulatedRig::setFirmwareLevel(int level) { backend_->command_("level " + std::to_string(level)); }
bool SimulatedRig::unplug() { return backend_->command_("unplug") == "ok"; }
bool SimulatedRig::replug() { return backend_->command_("replug") == "ok"; }
bool SimulatedRig::sendToHost(const std::vector<uint8_t>& bytes) { return backend_->command_("send " + toHex(bytes)) == "ok"; }
void SimulatedRig::reset() { backend_->command_("reset"); }

RigStats SimulatedRig::stats() {
  RigStats stats;
  parseStats(backend_->command_("stats"), stats);
  return stats;
}

std::vector<ReceivedFrame> SimulatedRig::frames() {
  std::vector<ReceivedFrame> frames;
  const std::string head = backend_->command_("frames");
  if (head.rfind("ok ", 0) != 0) return frames;
  const int count = std::atoi(head.c_str() + 3);
  for (int i = 0; i < count; ++i) {
    ReceivedFrame frame;
    if (parseFrame(backend_->readLine(), frame)) frames.push_back(frame);
  }
  return frames;
}

int64_t SimulatedRig::clockOffsetNs() {
  // The sample with the shortest round trip bounds the error best.
  int64_t best = 0, bestTrip = INT64_MAX;
  for (int i = 0; i < 9; ++i) {
    const int64_t before = monotonicNs();
    const std::string answer = backend_->command_("now");
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
