#include "gamesim/udp_game_sim.h"

#include "gamesim/udp_games_sim.h"

namespace gamesim {

namespace platform = portrelay::platform;

bool UdpGameSim::start() {
  stop();
  platform::NetworkStartup startup;
  if (platform::startNetworking(startup) != 0) return false;
  networking_ = true;
  socket_ = platform::openUdpSocket();
  if (socket_ == platform::kInvalidSocket) {
    stop();
    return false;
  }
  sent_ = 0;
  return true;
}

void UdpGameSim::stop() {
  if (socket_ != platform::kInvalidSocket) platform::closeSocket(socket_);
  socket_ = platform::kInvalidSocket;
  if (networking_) platform::stopNetworking();
  networking_ = false;
}

void UdpGameSim::write(const MotionSample& sample) {
  datagram_.clear();
  encode(sample, datagram_);
  if (!datagram_.empty()) send(datagram_);
}

bool UdpGameSim::send(const std::vector<uint8_t>& datagram) {
  if (socket_ == platform::kInvalidSocket || sent_ >= maxDatagrams_) return false;
  ++sent_;
  // Loopback only: the simulated game runs on this machine.
  return platform::sendTo(socket_, datagram.data(), static_cast<int>(datagram.size()),
                          platform::loopbackAddress(port_)) == static_cast<int>(datagram.size());
}

FeltAcceleration feltAcceleration(const MotionSample& m) {
  const GravityComponents g = gravityFor(m.roll, m.pitch);
  return {m.lateralAccel + g.lateral, m.longitudinalAccel + g.longitudinal, m.verticalAccel + g.vertical};
}

}  // namespace gamesim
