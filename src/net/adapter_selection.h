// Choice of the wired Ethernet adapter that the multicast sender binds to.
#pragma once
#include <string>

#include "log/logger.h"

namespace portrelay {

// The dotted IPv4 address of the connected Ethernet adapter with the lowest
// IPv4 metric (the first in the system's order among equals), or empty text
// when none qualifies, the chosen adapter has no IPv4 address, or the query
// fails. Every step goes to `logger`.
std::string GetPreferredEthernetAdapter(Logger& logger);

}  // namespace portrelay
