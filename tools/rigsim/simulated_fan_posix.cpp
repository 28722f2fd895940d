#include "pty_fan.h"
#include "simulated_fan.h"

namespace rigsim {

class SimulatedFan::Backend : public PtyFan {};

SimulatedFan::SimulatedFan() : backend_(std::make_unique<Backend>()) {}
SimulatedFan::~SimulatedFan() = default;

bool SimulatedFan::start(const std::string& linkPath) { return backend_->start(linkPath); }
std::vector<FanByte> SimulatedFan::bytes() { return backend_->bytes(); }
std::vector<FanByte> SimulatedFan::bytesAfter(int64_t arrivalNs) { return backend_->bytesAfter(arrivalNs); }
bool SimulatedFan::unplug() {
  backend_->unplug();
  return true;
}
bool SimulatedFan::replug() { return backend_->replug(); }
void SimulatedFan::reset() { backend_->reset(); }
FanLine SimulatedFan::line() { return backend_->line(); }
int64_t SimulatedFan::clockOffsetNs() { return 0; }

}  // namespace rigsim
