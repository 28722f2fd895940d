// Windows side: the rig runs in the native rigsim program (only a native
// process can own a pseudo-terminal); this process steers it over loopback TCP.
#include <cstdlib>
#include <string>

#include "control_link_win32.h"
#include "control_protocol.h"
#include "simulated_rig.h"

namespace rigsim {

class SimulatedRig::Backend : public ControlLink {};

SimulatedRig::SimulatedRig() : backend_(std::make_unique<Backend>()) {}
SimulatedRig::~SimulatedRig() = default;

bool SimulatedRig::start(const std::string& linkPath) { return backend_->start("--link " + linkPath); }
void SimulatedRig::setReplyForm(ReplyForm form) { backend_->command(std::string("reply ") + replyFormName(form)); }
void SimulatedRig::setBehaviour(Behaviour behaviour) {
  backend_->command(std::string("behave ") + behaviourName(behaviour));
}
void SimulatedRig::setFirmwareLevel(int level) { backend_->command("level " + std::to_string(level)); }
bool SimulatedRig::unplug() { return backend_->command("unplug") == "ok"; }
bool SimulatedRig::replug() { return backend_->command("replug") == "ok"; }
bool SimulatedRig::sendToHost(const std::vector<uint8_t>& bytes) { return backend_->command("send " + toHex(bytes)) == "ok"; }
void SimulatedRig::reset() { backend_->command("reset"); }

RigStats SimulatedRig::stats() {
  RigStats stats;
  parseStats(backend_->command("stats"), stats);
  return stats;
}

namespace {
std::vector<ReceivedFrame> readFrames(ControlLink& link, const std::string& request) {
  std::vector<ReceivedFrame> frames;
  const std::string head = link.command(request);
  if (head.rfind("ok ", 0) != 0) return frames;
  const int count = std::atoi(head.c_str() + 3);
  frames.reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    ReceivedFrame frame;
    if (parseFrame(link.readLine(), frame)) frames.push_back(frame);
  }
  return frames;
}
}  // namespace

std::vector<ReceivedFrame> SimulatedRig::frames() { return readFrames(*backend_, "frames"); }
std::vector<ReceivedFrame> SimulatedRig::motionLog() { return readFrames(*backend_, "motion"); }
std::vector<ReceivedFrame> SimulatedRig::motionSince(uint64_t sequence) {
  return readFrames(*backend_, "motion-since " + std::to_string(sequence));
}
std::vector<ReceivedFrame> SimulatedRig::framesSince(uint64_t sequence) {
  return readFrames(*backend_, "frames-since " + std::to_string(sequence));
}
int64_t SimulatedRig::clockOffsetNs() { return backend_->clockOffsetNs(); }

}  // namespace rigsim
