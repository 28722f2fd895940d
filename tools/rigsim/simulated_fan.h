// A virtual fan controller on the far end of a serial port (a pseudo-terminal
// behind a fixed link path), recording every byte with its arrival time.
//
// POSIX builds run it in this process. Windows builds (under Wine) start the
// native rigsim program in its fan mode and steer it over loopback TCP.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "virtual_fan.h"

namespace rigsim {

class SimulatedFan {
 public:
  SimulatedFan();
  ~SimulatedFan();
  SimulatedFan(const SimulatedFan&) = delete;
  SimulatedFan& operator=(const SimulatedFan&) = delete;

  // Creates the port and points linkPath at it. False when that failed.
  bool start(const std::string& linkPath);
  std::vector<FanByte> bytes();
  // The bytes that arrived after `arrivalNs` (the fan's clock).
  std::vector<FanByte> bytesAfter(int64_t arrivalNs);
  // The port vanishes, and returns on a fresh port behind the same link.
  bool unplug();
  bool replug();
  void reset();
  FanLine line();
  // The fan's clock (monotonicNs of the process that runs it) minus this
  // process's monotonicNs (0 in process).
  int64_t clockOffsetNs();

  class Backend;

 private:
  std::unique_ptr<Backend> backend_;
};

}  // namespace rigsim
