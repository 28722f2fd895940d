// Windows side: the fan sink runs in the native rigsim program (fan mode);
// this process steers it over loopback TCP.
#include <cstdlib>
#include <string>

#include "control_link_win32.h"
#include "control_protocol.h"
#include "simulated_fan.h"

namespace rigsim {

class SimulatedFan::Backend : public ControlLink {};

SimulatedFan::SimulatedFan() : backend_(std::make_unique<Backend>()) {}
SimulatedFan::~SimulatedFan() = default;

bool SimulatedFan::start(const std::string& linkPath) { return backend_->start("--fan-link " + linkPath); }
void SimulatedFan::reset() { backend_->command("reset"); }
int64_t SimulatedFan::clockOffsetNs() { return backend_->clockOffsetNs(); }

bool SimulatedFan::unplug() { return backend_->command("unplug") == "ok"; }
bool SimulatedFan::replug() { return backend_->command("replug") == "ok"; }

std::vector<FanByte> SimulatedFan::bytes() { return bytesAfter(-1); }

std::vector<FanByte> SimulatedFan::bytesAfter(int64_t arrivalNs) {
  std::vector<FanByte> bytes;
  const std::string head =
      backend_->command(arrivalNs < 0 ? std::string("fanbytes") : "fanbytes-after " + std::to_string(arrivalNs));
  if (head.rfind("ok ", 0) != 0) return bytes;
  const int count = std::atoi(head.c_str() + 3);
  bytes.reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    FanByte byte;
    if (parseFanByte(backend_->readLine(), byte)) bytes.push_back(byte);
  }
  return bytes;
}

FanLine SimulatedFan::line() {
  FanLine line;
  parseFanLine(backend_->command("fanline"), line);
  return line;
}

}  // namespace rigsim
