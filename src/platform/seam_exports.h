// Test seam exported by the test variant of the shared library only
// (portrelay_testing, built with PORTRELAY_TEST_SEAMS), for the demo host: a
// host that loads the library cannot reach the platform layer inside it any
// other way. A pseudo-terminal has no USB id, so the demo registers the virtual
// rig's pseudo-terminal as a COM port with the device information it chooses;
// the library's port search then applies its own USB-id check unchanged.
// Not part of the public interface (portrelay.h); no production host calls it.
#pragma once
#include <stdint.h>

#include "portrelay/portrelay.h"

extern "C" {

// Adds COM port `number` standing for the device node `devicePath`, listed
// with `friendlyName` and one hardware id (empty: none). From the first call
// on, the library sees exactly the ports added this way. Returns 1, or 0 for a
// number outside 1..255 or a null text.
PORTRELAY_API int32_t portrelaySeam_addComPort(int32_t number, const char* devicePath, const char* friendlyName,
                                               const char* hardwareId);
// Restores the system's view of the COM ports.
PORTRELAY_API void portrelaySeam_clearComPorts(void);

}
