// Finding the rig: COM-port enumeration, the USB-id check, opening a port with
// the rig's line settings, and the identity handshake (the relay loop's
// autoconnect scan and resumeInterface's manual connection).
#pragma once
#include <cstdint>
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

// Opens COM port n through the rig's port object and gives it the line
// settings; false (port closed, error code kept) on failure.
bool openPortHandle(int comNumber);

// openPortHandle plus time-outs and queue sizes; 1 when fully configured.
int32_t openRigPort(int comNumber);

// The manual connection to the standard port; 1 when identified.
int32_t connectStandardPort();

// The autoconnect scan over every COM port; 1 when a rig was identified.
int32_t scanForRig();

}  // namespace portrelay
