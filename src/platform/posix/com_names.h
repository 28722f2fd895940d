// COM numbers of the serial device nodes on Linux (see platform/serial_port.h).
#pragma once
#include <string>
#include <vector>

namespace portrelay::platform {

// The device node of COM port n ("" when n maps to none). Honors the test seam.
std::string comDevicePath(int comNumber);

// COM numbers of the present ports, ascending. Honors the test seam.
std::vector<int> presentComNumbers();

}  // namespace portrelay::platform
