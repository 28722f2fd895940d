// The sending half of every game that streams telemetry datagrams: one
// datagram per sample to 127.0.0.1 on the game's port. A game's class derives
// from it and encodes its own format.
#pragma once
#include <cstdint>
#include <vector>

#include "gamesim/game_sim.h"
#include "platform/sockets.h"

namespace gamesim {

class UdpGameSim : public GameSim {
 public:
  static constexpr uint64_t kDefaultMaxDatagrams = 1000000;
  // Stops sending after `maxDatagrams`, whatever drives it.
  explicit UdpGameSim(uint16_t port, uint64_t maxDatagrams = kDefaultMaxDatagrams, int32_t initialState = 0)
      : GameSim(initialState), port_(port), maxDatagrams_(maxDatagrams) {}
  ~UdpGameSim() override { stop(); }

  bool start() override;
  void stop() override;
  // Encodes the sample and sends it, unless the game's format yields nothing.
  void write(const MotionSample& sample) override;

  uint16_t port() const { return port_; }
  uint64_t datagramsSent() const { return sent_; }

 protected:
  // The game's datagram for one sample; an empty result sends nothing.
  virtual void encode(const MotionSample& sample, std::vector<uint8_t>& datagram) = 0;
  // Sends raw bytes to the game's port (for formats of several datagrams).
  bool send(const std::vector<uint8_t>& datagram);

 private:
  uint16_t port_;
  uint64_t maxDatagrams_;
  uint64_t sent_ = 0;
  bool networking_ = false;
  portrelay::platform::SocketHandle socket_ = portrelay::platform::kInvalidSocket;
  std::vector<uint8_t> datagram_;
};

}  // namespace gamesim
