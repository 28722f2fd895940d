// The games that stream UDP telemetry: their ports, detection orders and
// readers. Each game's read() and decoder (network_decoders.h) live in the
// game's own file. Every reader takes what waits on its socket (takeWaiting);
// F1, BeamNG and Live for Speed have rules of their own for it.
#pragma once
#include <array>

#include "sources/readers/network_decoders.h"
#include "sources/udp_game_reader.h"

namespace portrelay::readers {

inline constexpr uint16_t kXPlanePort = 4321;
inline constexpr uint16_t kDcsPort = 4124;
inline constexpr uint16_t kDirtRally2Port = 20778;
inline constexpr uint16_t kCondor2Port = 55278;
inline constexpr uint16_t kF1Port = 20777;
inline constexpr uint16_t kWrcPort = 20788;
inline constexpr uint16_t kBeamNgPort = 4444;
inline constexpr uint16_t kLfsPort = 4123;

using Order = UdpDetection::Order;

// Id 0: a datagram first, then the process (the port alone is not proof).
// Proper accelerations; the only UDP game with a ground state.
class XPlaneReader : public UdpGameReader {
 public:
  explicit XPlaneReader(uint16_t port = kXPlanePort)
      : UdpGameReader({port, Order::ProbeThenProcess, {L"X-Plane.exe"}}) {}
  bool read(SampleRecord& record) override;
};

// Id 1. Proper accelerations; the game time goes to gameTime and gameDelta.
class DcsReader : public UdpGameReader {
 public:
  explicit DcsReader(uint16_t port = kDcsPort)
      : UdpGameReader({port, Order::ProcessThenProbe, {L"DCS.exe", L"DCS64.exe"}}) {}
  bool read(SampleRecord& record) override;
};

// Id 5. Kinematic accelerations, its own sign of longitudinal gravity.
class DirtRally2Reader : public UdpGameReader {
 public:
  explicit DirtRally2Reader(uint16_t port = kDirtRally2Port) : UdpGameReader({port, Order::ProbeOnly, {}}) {}
  bool read(SampleRecord& record) override;
};

// Id 6. Kinematic; the key values persist from datagram to datagram.
class Condor2Reader : public UdpGameReader {
 public:
  explicit Condor2Reader(uint16_t port = kCondor2Port) : UdpGameReader({port, Order::ProbeOnly, {}}) {}
  bool read(SampleRecord& record) override;
  const Condor2Values& kept() const { return kept_; }

 private:
  Condor2Values kept_;
};

// Id 7. Proper; drains the socket (the game sends several packet kinds).
class F1Reader : public UdpGameReader {
 public:
  explicit F1Reader(uint16_t port = kF1Port)
      : UdpGameReader({port,
                       Order::ProcessThenProbe,
                       {L"F1_23.exe", L"F1_23_64.exe", L"F1_24.exe", L"F1_24_64.exe"}}) {}
  bool read(SampleRecord& record) override;
};

// Id 11. Kinematic; rates from the position change since the previous sample.
class WrcReader : public UdpGameReader {
 public:
  explicit WrcReader(uint16_t port = kWrcPort) : UdpGameReader({port, Order::ProbeOnly, {}}) {}
  // A new attachment starts without a previous sample.
  bool attach() override;
  bool read(SampleRecord& record) override;

 private:
  WrcState state_;
  std::array<uint8_t, kWrcShortest> newest_{};
};

// Id 12. Kinematic; drains the socket.
class BeamNgReader : public UdpGameReader {
 public:
  explicit BeamNgReader(uint16_t port = kBeamNgPort) : UdpGameReader({port, Order::ProbeOnly, {}}) {}
  bool read(SampleRecord& record) override;
};

// Id 13. Kinematic; drains the socket.
class LfsReader : public UdpGameReader {
 public:
  explicit LfsReader(uint16_t port = kLfsPort)
      : UdpGameReader({port, Order::ProcessThenProbe, {L"LFS.exe", L"LFS64.exe"}}) {}
  bool read(SampleRecord& record) override;
};

}  // namespace portrelay::readers
