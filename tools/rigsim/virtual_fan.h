// The fan controller's side of its serial port, for tests and the demo: every
// byte that arrives, with its arrival time, and the line settings the port was
// given.
#pragma once
#include <cstdint>

namespace rigsim {

struct FanByte {
  uint8_t value = 0;
  int64_t arrivalNs = 0;  // monotonicNs of the process that owns the port
};

// The port's line settings as the sending side set them. A pseudo-terminal
// keeps only the stop bits and the speed: Linux forces its character size to
// 8 bits and clears its parity, so dataBits and parity read 8 and 'N'.
struct FanLine {
  int dataBits = 0;
  char parity = '?';  // 'N', 'E' or 'O'
  int stopBits = 0;
  uint32_t baudRate = 0;
};

}  // namespace rigsim
