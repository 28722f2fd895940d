// The games that stream UDP telemetry: each encodes a sample of the lap in the
// game's own datagram format (one file per game) and sends it to 127.0.0.1 on
// the game's port. Proper games (X-Plane, DCS, F1) send the felt acceleration,
// gravity included; the others the kinematic one.
#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "gamesim/lap_motion.h"
#include "gamesim/udp_game_sim.h"

namespace gamesim {

// The acceleration a proper game reports: the lap's plus gravity's components.
struct FeltAcceleration {
  double lateral = 0.0, longitudinal = 0.0, vertical = 0.0;  // m/s^2
};
FeltAcceleration feltAcceleration(const MotionSample& m);

namespace xplane {
inline constexpr uint16_t kPort = 4321;
// State: 1 on the ground (default: the gear record shows compressed struts), 0 airborne.
inline constexpr int32_t kAirborne = 0, kOnGround = 1;
// "DATA*" and the records 3 (speeds), 17 (attitude), 66 (gear) and 135 (loads and rates).
void encode(const MotionSample& m, bool onGround, std::vector<uint8_t>& datagram);
}  // namespace xplane

namespace dcs {
inline constexpr uint16_t kPort = 4124;
// The export script's line: 25 numbers with nine decimals, single spaces, a newline.
void encode(const MotionSample& m, std::vector<uint8_t>& datagram);
}  // namespace dcs

namespace dirt {
inline constexpr uint16_t kPort = 20778;
inline constexpr size_t kLength = 96;
void encode(const MotionSample& m, std::vector<uint8_t>& datagram);
}  // namespace dirt

namespace condor {
inline constexpr uint16_t kPort = 55278;
inline constexpr int32_t kFlaps = 2;
// "key=value" lines, CR LF, with every key the game sends.
void encode(const MotionSample& m, std::vector<uint8_t>& datagram);
}  // namespace condor

namespace f1 {
inline constexpr uint16_t kPort = 20777;
inline constexpr uint16_t kFormat2023 = 2023, kFormat2024 = 2024;
inline constexpr uint8_t kPlayerCar = 3;
inline constexpr size_t kMotionLength = 1349;
inline constexpr size_t kExtendedLength2023 = 217, kExtendedLength2024 = 237;
// The motion packet of all 22 cars: the player's car (`playerIndex`, 255 for
// none) drives the lap, the others the lap at other times.
void encodeMotion(const MotionSample& m, uint16_t format, uint8_t playerIndex, std::vector<uint8_t>& datagram);
// The player's extended motion packet (217 bytes in 2023, 237 in 2024): the
// car's angular velocity in its own x, y, z (right, up, forward) at 173, 177
// and 181, in rad/s, worked out from the rates of its yaw, pitch and roll.
void encodeExtendedMotion(const MotionSample& m, uint16_t format, std::vector<uint8_t>& datagram);
}  // namespace f1

namespace wrc {
inline constexpr uint16_t kPort = 20788;
inline constexpr size_t kLength = 121;
void encode(const MotionSample& m, std::vector<uint8_t>& datagram);
}  // namespace wrc

namespace beamng {
inline constexpr uint16_t kPort = 4444;
inline constexpr size_t kLength = 88;
void encode(const MotionSample& m, std::vector<uint8_t>& datagram);
}  // namespace beamng

namespace lfs {
inline constexpr uint16_t kPort = 4123;
inline constexpr size_t kLength = 280;
void encode(const MotionSample& m, std::vector<uint8_t>& datagram);
}  // namespace lfs

// A game that sends one datagram per sample through an encoder above; the
// game's state is handed to the encoder (X-Plane: on the ground or not).
class DatagramGameSim : public UdpGameSim {
 public:
  using Encoder = void (*)(const MotionSample& m, int32_t state, std::vector<uint8_t>& datagram);
  DatagramGameSim(uint16_t port, Encoder encoder, int32_t initialState = 0)
      : UdpGameSim(port, kDefaultMaxDatagrams, initialState), encoder_(encoder) {}

 protected:
  void encode(const MotionSample& sample, std::vector<uint8_t>& datagram) override {
    encoder_(sample, state(), datagram);
  }

 private:
  Encoder encoder_;
};

// F1: a motion packet and the player's extended motion packet per sample.
// State: the packet format (2024 by default; others are sent as they are).
class F1Sim : public UdpGameSim {
 public:
  explicit F1Sim(uint16_t port = f1::kPort) : UdpGameSim(port, kDefaultMaxDatagrams, f1::kFormat2024) {}
  void write(const MotionSample& sample) override;

 protected:
  void encode(const MotionSample& sample, std::vector<uint8_t>& datagram) override;
};

std::unique_ptr<GameSim> makeXPlaneSim(uint16_t port);
std::unique_ptr<GameSim> makeDcsSim(uint16_t port);
std::unique_ptr<GameSim> makeDirtRally2Sim(uint16_t port);
std::unique_ptr<GameSim> makeCondor2Sim(uint16_t port);
std::unique_ptr<GameSim> makeWrcSim(uint16_t port);
std::unique_ptr<GameSim> makeBeamNgSim(uint16_t port);
std::unique_ptr<GameSim> makeLfsSim(uint16_t port);

}  // namespace gamesim
