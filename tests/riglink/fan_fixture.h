// A virtual fan controller on a COM port: a pseudo-terminal natively (a COM
// number of the test seam), under Wine the COM port the test run mapped to
// the fan's link.
#pragma once
#include <string>
#include <vector>

#include "platform/serial_port.h"
#include "simulated_fan.h"
#include "support/temp_dir.h"

namespace portrelay::testing {

class FanOnComPort {
 public:
#ifdef RIGSIM_WINE_FAN_COM
  static constexpr int kComNumber = RIGSIM_WINE_FAN_COM;
  std::string linkPath() const { return RIGSIM_WINE_FAN_LINK; }
#else
  static constexpr int kComNumber = 8;
  std::string linkPath() const { return (dir_.path() / "fan-com8").string(); }
#endif
  // A COM number that names no device in either build.
  static constexpr int kMissingComNumber = 199;

  FanOnComPort() { started_ = fan.start(linkPath()); }
  bool started() const { return started_; }
  static std::string name() { return "COM" + std::to_string(kComNumber); }
  // The fan's port as the device list shows it: no USB id, so the rig's port
  // search passes it by.
  platform::SimulatedComPort comPort() const {
    return {kComNumber, linkPath(), "Fan controller (" + name() + ")", {}};
  }

  rigsim::SimulatedFan fan;

 private:
  TempDir dir_;
  bool started_ = false;
};

inline std::vector<uint8_t> valuesOf(const std::vector<rigsim::FanByte>& bytes) {
  std::vector<uint8_t> values;
  for (const rigsim::FanByte& b : bytes) values.push_back(b.value);
  return values;
}

}  // namespace portrelay::testing
