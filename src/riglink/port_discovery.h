// Finding the rig: COM-port enumeration and the USB-id check. Opening a port
// with the rig's line settings and the identity handshake (the relay loop's
// autoconnect scan and resumeInterface's manual connection) are RigLink's, in
// port_discovery.cpp.
#pragma once
#include <string>
#include <vector>

namespace portrelay {

class CEnumerateSerial {
 public:
  // Numbers of the COM ports among the system's device names, in its order.
  static bool UsingQueryDosDevice(std::vector<unsigned>& ports);
};

// True when a present COM device whose friendly name contains `name` (exact
// case) has one of the accepted USB ids.
bool checkUsbId(const std::string& name);

// True when one of a device's hardware ids holds an accepted USB id (the test
// checkUsbId applies to the device it finds).
bool hasAcceptedUsbId(const std::vector<std::string>& hardwareIds);

}  // namespace portrelay
