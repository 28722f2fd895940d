// Shared helpers of the UDP link tests: log lines without their time stamps,
// rig frames, and a loopback socket standing for the rig.
#pragma once
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "log/logger.h"
#include "platform/sockets.h"
#include "support/temp_dir.h"
#include "virtual_rig.h"

namespace portrelay::testing {

// The log file's lines as "INFO message" / "ERROR message" (time stamps checked
// and cut), without the version line the process's first logger writes.
inline std::vector<std::string> logMessages(const std::filesystem::path& file) {
  std::vector<std::string> lines;
  std::istringstream in(readFile(file));
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const size_t open = line.find("] [");
    const size_t close = line.find("] ", open + 3);
    if (line.size() < 2 || line[0] != '[' || open == std::string::npos || close != open + 3 + 19) {
      lines.push_back("MALFORMED " + line);
      continue;
    }
    std::string message = line.substr(1, open - 1) + " " + line.substr(close + 2);
    if (message != "INFO " + libraryVersionLine()) lines.push_back(std::move(message));
  }
  return lines;
}

inline bool contains(const std::vector<std::string>& lines, const std::string& line) {
  for (const auto& l : lines)
    if (l == line) return true;
  return false;
}

// A frame with its CRC end pair (the rig's own CRC code, independent of the library's).
inline std::vector<uint8_t> checksummed(std::vector<uint8_t> frame) {
  const uint16_t crc = rigsim::crc16(frame.data(), frame.size() - 2);
  frame[frame.size() - 2] = static_cast<uint8_t>(crc & 0xFF);
  frame[frame.size() - 1] = static_cast<uint8_t>(crc >> 8);
  return frame;
}

// A 36-byte motion frame in terminated form, tagged in its first payload bytes.
inline std::vector<uint8_t> motionFrame(uint32_t tag) {
  std::vector<uint8_t> frame(36, 0);
  frame[0] = frame[1] = 0xFC;
  for (int i = 0; i < 4; ++i) frame[2 + i] = static_cast<uint8_t>(tag >> (8 * i));
  frame[34] = 0x0A;
  frame[35] = 0x0D;
  return frame;
}

// A non-blocking UDP socket on loopback that plays the far end of the link.
class LoopbackPeer {
 public:
  // On 127.0.0.1, or on another loopback address (network byte order).
  explicit LoopbackPeer(uint32_t address = 0) {
    platform::startNetworking(startup_);
    socket_ = platform::openUdpSocket();
    platform::setNonBlocking(socket_);
    platform::SocketAddress local = platform::loopbackAddress(0);
    if (address != 0) local.address = address;
    platform::bindSocket(socket_, local);
  }
  ~LoopbackPeer() {
    platform::closeSocket(socket_);
    platform::stopNetworking();
  }
  uint16_t port() const { return platform::portOf(platform::localAddress(socket_)); }
  void sendTo(uint16_t port, const std::vector<uint8_t>& bytes) {
    platform::sendTo(socket_, bytes.data(), static_cast<int>(bytes.size()), platform::loopbackAddress(port));
  }
  // Every datagram arriving within the time given.
  std::vector<std::vector<uint8_t>> receiveFor(std::chrono::milliseconds span) {
    std::vector<std::vector<uint8_t>> datagrams;
    const auto end = std::chrono::steady_clock::now() + span;
    uint8_t buffer[2048];
    while (std::chrono::steady_clock::now() < end) {
      if (platform::waitReadable(socket_, 2000) != platform::Readiness::Ready) continue;
      const int n = platform::receiveFrom(socket_, buffer, sizeof buffer, nullptr, nullptr);
      if (n > 0) datagrams.emplace_back(buffer, buffer + n);
    }
    return datagrams;
  }

 private:
  platform::NetworkStartup startup_;
  platform::SocketHandle socket_ = platform::kInvalidSocket;
};

}  // namespace portrelay::testing
