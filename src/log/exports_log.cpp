// The diagnostics' C ABI. Catches every exception: nothing may unwind into the host.
#include "log/diagnostics.h"
#include "portrelay/portrelay.h"

extern "C" {

int32_t setDiagnosticOutput(int32_t destination, PortRelayDiagnosticCallback callback, void* context) {
  return portrelay::setDiagnosticOutput(destination, callback, context);
}

}  // extern "C"
