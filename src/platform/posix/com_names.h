// COM numbers of the serial device nodes on Linux (see platform/com_devices.h).
#pragma once
#include <string>
#include <vector>

namespace portrelay::platform {

// The device node of COM port n ("" when n maps to none). Honors the simulated COM ports (Services::comPorts).
std::string comDevicePath(int comNumber);

// Whether the tty node names a serial port that exists as hardware, judged
// from its class directory (ttyClassDir/node, normally /sys/class/tty): it has
// a device behind it, and a serial-core port reports a UART type other than
// unknown (0). Placeholder 8250 ports (ttyS0..31 with no UART) are not.
bool isHardwareSerialNode(const std::string& ttyClassDir, const std::string& node);

// COM numbers of the present ports, ascending. Honors the simulated COM ports (Services::comPorts).
std::vector<int> presentComNumbers();

}  // namespace portrelay::platform
