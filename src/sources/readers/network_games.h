// The games that stream UDP telemetry: their ports and detection orders. Each
// game's decoder overrides UdpGameReader::read in its own file.
#pragma once
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
class XPlaneReader : public UdpGameReader {
 public:
  explicit XPlaneReader(uint16_t port = kXPlanePort)
      : UdpGameReader({port, Order::ProbeThenProcess, {L"X-Plane.exe"}}) {}
};

// Id 1.
class DcsReader : public UdpGameReader {
 public:
  explicit DcsReader(uint16_t port = kDcsPort)
      : UdpGameReader({port, Order::ProcessThenProbe, {L"DCS.exe", L"DCS64.exe"}}) {}
};

// Id 5.
class DirtRally2Reader : public UdpGameReader {
 public:
  explicit DirtRally2Reader(uint16_t port = kDirtRally2Port) : UdpGameReader({port, Order::ProbeOnly, {}}) {}
};

// Id 6.
class Condor2Reader : public UdpGameReader {
 public:
  explicit Condor2Reader(uint16_t port = kCondor2Port) : UdpGameReader({port, Order::ProbeOnly, {}}) {}
};

// Id 7.
class F1Reader : public UdpGameReader {
 public:
  explicit F1Reader(uint16_t port = kF1Port)
      : UdpGameReader({port,
                       Order::ProcessThenProbe,
                       {L"F1_23.exe", L"F1_23_64.exe", L"F1_24.exe", L"F1_24_64.exe"}}) {}
};

// Id 11.
class WrcReader : public UdpGameReader {
 public:
  explicit WrcReader(uint16_t port = kWrcPort) : UdpGameReader({port, Order::ProbeOnly, {}}) {}
};

// Id 12.
class BeamNgReader : public UdpGameReader {
 public:
  explicit BeamNgReader(uint16_t port = kBeamNgPort) : UdpGameReader({port, Order::ProbeOnly, {}}) {}
};

// Id 13.
class LfsReader : public UdpGameReader {
 public:
  explicit LfsReader(uint16_t port = kLfsPort)
      : UdpGameReader({port, Order::ProcessThenProbe, {L"LFS.exe", L"LFS64.exe"}}) {}
};

}  // namespace portrelay::readers
