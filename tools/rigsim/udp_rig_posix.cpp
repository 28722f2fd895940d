#include "udp_rig.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace rigsim {

UdpRig::~UdpRig() { stop(); }

bool UdpRig::start(const UdpRigOptions& options) {
  stop();
  options_ = options;
  in_addr group{}, local{};
  if (inet_pton(AF_INET, options.group.c_str(), &group) != 1 ||
      inet_pton(AF_INET, options.interfaceAddress.c_str(), &local) != 1)
    return false;
  fd_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd_ < 0) return false;
  const int yes = 1;
  setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  sockaddr_in bound{};
  bound.sin_family = AF_INET;
  bound.sin_port = htons(options.groupPort);
  bound.sin_addr = group;  // only the group's datagrams
  ip_mreq membership{};
  membership.imr_multiaddr = group;
  membership.imr_interface = local;
  if (bind(fd_, reinterpret_cast<sockaddr*>(&bound), sizeof bound) != 0 ||
      (IN_MULTICAST(ntohl(group.s_addr)) &&
       setsockopt(fd_, IPPROTO_IP, IP_ADD_MEMBERSHIP, &membership, sizeof membership) != 0)) {
    close(fd_);
    fd_ = -1;
    return false;
  }
  running_.store(true);
  thread_ = std::thread([this] { serve(); });
  return true;
}

void UdpRig::stop() {
  running_.store(false);
  if (thread_.joinable()) thread_.join();
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}

std::string UdpRig::hostAddress() const {
  std::lock_guard lock(hostMutex_);
  if (hostAddress_ == 0) return {};
  char text[INET_ADDRSTRLEN] = {};
  in_addr address{hostAddress_};
  inet_ntop(AF_INET, &address, text, sizeof text);
  return text;
}

bool UdpRig::sendToHost(const std::vector<uint8_t>& bytes) {
  sockaddr_in host{};
  host.sin_family = AF_INET;
  host.sin_port = htons(options_.answerPort);
  {
    std::lock_guard lock(hostMutex_);
    if (hostAddress_ == 0) return false;
    host.sin_addr.s_addr = hostAddress_;
  }
  return sendto(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL, reinterpret_cast<sockaddr*>(&host), sizeof host) ==
         static_cast<ssize_t>(bytes.size());
}

void UdpRig::serve() {
  uint8_t buffer[65536];
  int64_t nextHeartbeat = 0;
  while (running_.load()) {
    pollfd entry{fd_, POLLIN, 0};
    if (poll(&entry, 1, 5) > 0) {
      sockaddr_in from{};
      socklen_t fromLength = sizeof from;
      const ssize_t n = recvfrom(fd_, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &fromLength);
      if (n > 0) {
        const int64_t now = monotonicNs();
        datagrams_.fetch_add(1);
        datagramBytes_.fetch_add(static_cast<uint64_t>(n));
        {
          std::lock_guard lock(hostMutex_);
          hostAddress_ = from.sin_addr.s_addr;
        }
        const std::vector<uint8_t> answer = rig_.onDatagram(buffer, static_cast<size_t>(n), now);
        if (!answer.empty() && !silent_.load()) sendToHost(answer);
      }
    }
    const int64_t now = monotonicNs();
    if (options_.heartbeatMs > 0 && now >= nextHeartbeat && !silent_.load() && sendToHost(rig_.levelReport()))
      nextHeartbeat = now + static_cast<int64_t>(options_.heartbeatMs) * 1000000;
  }
}

}  // namespace rigsim
