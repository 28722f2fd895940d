// The version the build defines, for hosts that check what they loaded.
#include "portrelay/portrelay.h"

extern "C" {

const char* getPortRelayVersion(void) { return PORTRELAY_VERSION; }

}  // extern "C"
