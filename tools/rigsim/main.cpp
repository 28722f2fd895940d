// rigsim: a virtual rig controller on a pseudo-terminal.
//
//   rigsim --link PATH [--reply t1|c1|t2|c2] [--level N]
//          [--behave normal|wrong-id|silent|garbage|long-reply|stall]
//          [--seconds N] [--control PORT]
//   rigsim --fan-link PATH [--seconds N] [--control PORT]
//   rigsim --udp GROUP:PORT [--udp-interface ADDR] [--answer-port PORT]
//          [--heartbeat-ms N] [--reply ...] [--level N] [--seconds N]
//          [--motion-log FILE]
//
// Creates a pseudo-terminal, points PATH at it and serves the rig protocol
// (--link) or records the bytes a fan controller receives (--fan-link).
// Without --control it prints its counters once a second (for N seconds, or
// until interrupted). With --control it connects to 127.0.0.1:PORT and obeys
// the commands of control_protocol.h until that connection closes.
// With --udp it serves the rig protocol over UDP instead: it joins the
// multicast group on the interface address given (run it inside a network
// namespace of its own, e.g. ip netns exec), checks every datagram, and sends
// its answers and a level report every heartbeat to the host's listen port.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "control_protocol.h"
#include "pty_fan.h"
#include "pty_rig.h"
#include "udp_rig.h"

namespace {

volatile sig_atomic_t interrupted = 0;

void onSignal(int) { interrupted = 1; }

// Serves commands until the controlling process closes its side; then stops
// the device (removing its link) before closing this side, so that the
// controller, which waits for the close, may start the next rig at the same path.
template <typename Execute, typename Stop>
int serveControl(int port, Execute&& execute, Stop&& stop) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);  // loopback only
  if (fd < 0 || connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    std::perror("rigsim: control connection");
    return 1;
  }
  std::string pending;
  char buffer[4096];
  for (;;) {
    const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) break;  // the controlling process is gone: so is the rig
    pending.append(buffer, static_cast<size_t>(n));
    for (size_t end; (end = pending.find('\n')) != std::string::npos;) {
      std::string line = pending.substr(0, end);
      pending.erase(0, end + 1);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      const std::string answer = execute(line) + "\n";
      if (send(fd, answer.data(), answer.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(answer.size())) {
        stop();
        close(fd);
        return 0;
      }
    }
  }
  stop();
  close(fd);
  return 0;
}

int runFan(const std::string& link, int controlPort, int seconds) {
  rigsim::PtyFan fan;
  if (!fan.start(link)) {
    std::perror("rigsim: cannot create the fan port");
    return 1;
  }
  if (controlPort > 0)
    return serveControl(controlPort, [&](const std::string& line) { return rigsim::executeFanCommand(fan, line); },
                        [&] { fan.stop(); });
  signal(SIGINT, onSignal);
  signal(SIGTERM, onSignal);
  std::printf("rigsim: fan %s -> %s\n", link.c_str(), fan.devicePath().c_str());
  for (int elapsed = 0; !interrupted && (seconds == 0 || elapsed < seconds); ++elapsed) {
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const auto bytes = fan.bytes();
    std::printf("fan bytes %zu  last %d\n", bytes.size(), bytes.empty() ? -1 : bytes.back().value);
    std::fflush(stdout);
  }
  return 0;
}

void printRigStats(const rigsim::RigStats& s) {
  std::printf("motion %llu (%.0f/s, %llu checksummed)  crc errors %llu  identity %llu  level %llu  other %llu",
              static_cast<unsigned long long>(s.motionFrames), s.motionRatePerSecond,
              static_cast<unsigned long long>(s.checksummedMotionFrames),
              static_cast<unsigned long long>(s.checksumErrors), static_cast<unsigned long long>(s.identityQueries),
              static_cast<unsigned long long>(s.levelQueries), static_cast<unsigned long long>(s.otherFrames));
}

int runUdp(rigsim::UdpRig& rig, const rigsim::UdpRigOptions& options, int seconds, const std::string& motionLog) {
  if (!rig.start(options)) {
    std::perror("rigsim: cannot join the group");
    return 1;
  }
  signal(SIGINT, onSignal);
  signal(SIGTERM, onSignal);
  std::printf("rigsim: udp %s:%u on %s, answers to port %u\n", options.group.c_str(), options.groupPort,
              options.interfaceAddress.c_str(), options.answerPort);
  for (int elapsed = 0; !interrupted && (seconds == 0 || elapsed < seconds); ++elapsed) {
    std::this_thread::sleep_for(std::chrono::seconds(1));
    printRigStats(rig.rig().stats(rigsim::monotonicNs()));
    std::printf("  datagrams %llu  host %s\n", static_cast<unsigned long long>(rig.datagrams()),
                rig.hostAddress().c_str());
    std::fflush(stdout);
  }
  rig.stop();
  if (!motionLog.empty()) {
    // Arrival time (CLOCK_MONOTONIC, ns) and first float of each motion frame kept.
    if (FILE* out = std::fopen(motionLog.c_str(), "w")) {
      for (const rigsim::ReceivedFrame& frame : rig.rig().motionLog()) {
        float value;
        std::memcpy(&value, frame.bytes.data() + 2, sizeof value);
        std::fprintf(out, "%lld %.9g\n", static_cast<long long>(frame.arrivalNs), value);
      }
      std::fclose(out);
    }
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string link, fanLink;
  int controlPort = 0;
  int seconds = 0;
  rigsim::PtyRig rig;
  rigsim::UdpRig udpRig;
  rigsim::UdpRigOptions udp;
  bool useUdp = false;
  std::string motionLog;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string option = argv[i], value = argv[i + 1];
    bool ok = true;
    if (option == "--link") link = value;
    else if (option == "--fan-link") fanLink = value;
    else if (option == "--reply") {
      rig.rig().setReplyForm(rigsim::parseReplyForm(value, &ok));
      udpRig.rig().setReplyForm(rigsim::parseReplyForm(value, &ok));
    } else if (option == "--behave") rig.rig().setBehaviour(rigsim::parseBehaviour(value, &ok));
    else if (option == "--level") {
      rig.rig().setFirmwareLevel(std::atoi(value.c_str()));
      udpRig.rig().setFirmwareLevel(std::atoi(value.c_str()));
    } else if (option == "--udp") {
      const size_t colon = value.find(':');
      useUdp = true;
      udp.group = value.substr(0, colon);
      if (colon != std::string::npos) udp.groupPort = static_cast<uint16_t>(std::atoi(value.c_str() + colon + 1));
    } else if (option == "--udp-interface") udp.interfaceAddress = value;
    else if (option == "--answer-port") udp.answerPort = static_cast<uint16_t>(std::atoi(value.c_str()));
    else if (option == "--heartbeat-ms") udp.heartbeatMs = std::atoi(value.c_str());
    else if (option == "--motion-log") motionLog = value;
    else if (option == "--control") controlPort = std::atoi(value.c_str());
    else if (option == "--seconds") seconds = std::atoi(value.c_str());
    else ok = false;
    if (!ok) {
      std::fprintf(stderr, "rigsim: bad option %s %s\n", option.c_str(), value.c_str());
      return 2;
    }
  }
  if (!fanLink.empty()) return runFan(fanLink, controlPort, seconds);
  if (useUdp) return runUdp(udpRig, udp, seconds, motionLog);
  if (link.empty()) {
    std::fprintf(stderr, "usage: rigsim --link PATH [--reply FORM] [--level N] [--behave B] [--seconds N] [--control PORT]\n"
                 "       rigsim --fan-link PATH [--seconds N] [--control PORT]\n"
                 "       rigsim --udp GROUP:PORT [--udp-interface ADDR] [--answer-port PORT] [--heartbeat-ms N] [--motion-log FILE]\n");
    return 2;
  }
  if (!rig.start(link)) {
    std::perror("rigsim: cannot create the port");
    return 1;
  }
  if (controlPort > 0)
    return serveControl(controlPort, [&](const std::string& line) { return rigsim::executeCommand(rig, line); },
                        [&] { rig.stop(); });

  signal(SIGINT, onSignal);
  signal(SIGTERM, onSignal);
  std::printf("rigsim: %s -> %s\n", link.c_str(), rig.devicePath().c_str());
  for (int elapsed = 0; !interrupted && (seconds == 0 || elapsed < seconds); ++elapsed) {
    std::this_thread::sleep_for(std::chrono::seconds(1));
    printRigStats(rig.rig().stats(rigsim::monotonicNs()));
    std::printf("\n");
    std::fflush(stdout);
  }
  return 0;
}
