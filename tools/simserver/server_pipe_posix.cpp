#include "simserver/server_link.h"

namespace simserver {

// The simulator's pipe exists on Windows only.
std::unique_ptr<ServerListener> listenPipe(const std::string&) { return nullptr; }

}  // namespace simserver
