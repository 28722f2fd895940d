#include "pty_rig.h"
#include "simulated_rig.h"

namespace rigsim {

class SimulatedRig::Backend : public PtyRig {};

SimulatedRig::SimulatedRig() : backend_(std::make_unique<Backend>()) {}
SimulatedRig::~SimulatedRig() = default;

bool SimulatedRig::start(const std::string& linkPath) { return backend_->start(linkPath); }
void SimulatedRig::setReplyForm(ReplyForm form) { backend_->rig().setReplyForm(form); }
void SimulatedRig::setBehaviour(Behaviour behaviour) { backend_->rig().setBehaviour(behaviour); }
void SimulatedRig::setFirmwareLevel(int level) { backend_->rig().setFirmwareLevel(level); }
bool SimulatedRig::unplug() { return backend_->unplug(); }
bool SimulatedRig::replug() { return backend_->replug(); }
bool SimulatedRig::sendToHost(const std::vector<uint8_t>& bytes) { return backend_->sendToHost(bytes); }
RigStats SimulatedRig::stats() { return backend_->rig().stats(monotonicNs()); }
std::vector<ReceivedFrame> SimulatedRig::frames() { return backend_->rig().frames(); }
std::vector<ReceivedFrame> SimulatedRig::motionLog() { return backend_->rig().motionLog(); }
std::vector<ReceivedFrame> SimulatedRig::motionSince(uint64_t sequence) { return backend_->rig().motionSince(sequence); }
std::vector<ReceivedFrame> SimulatedRig::framesSince(uint64_t sequence) { return backend_->rig().framesSince(sequence); }
void SimulatedRig::reset() { backend_->rig().reset(); }
int64_t SimulatedRig::clockOffsetNs() { return 0; }

}  // namespace rigsim
