#include "fault_schedule.h"

namespace portrelay::soak {

const char* faultName(FaultKind kind) {
  switch (kind) {
    case FaultKind::rigUnplug: return "rig unplug/replug";
    case FaultKind::rigStall: return "rig stops reading 3 s";
    case FaultKind::rigGarbage: return "rig garbage replies";
    case FaultKind::rigWrongId: return "rig wrong identity";
    case FaultKind::gameCrash: return "game crash and return";
    case FaultKind::gamePause: return "game pause (frozen)";
    case FaultKind::readyOff: return "ready off and on";
    case FaultKind::filterChange: return "filter string change";
    case FaultKind::filterInvalid: return "invalid filter string";
    case FaultKind::limitsChange: return "limits change";
    case FaultKind::fanVanish: return "fan port vanishes";
    case FaultKind::udpLink: return "UDP link phase";
    case FaultKind::count: break;
  }
  return "?";
}

FaultSchedule::FaultSchedule(uint32_t seed, bool withUdp) : random_(seed), withUdp_(withUdp) { shuffleRound(); }

void FaultSchedule::shuffleRound() {
  round_.clear();
  for (int k = 0; k < kFaultKinds; ++k) {
    const auto kind = static_cast<FaultKind>(k);
    if (kind != FaultKind::udpLink || withUdp_) round_.push_back(kind);
  }
  // Fisher-Yates with the schedule's own draws (std::shuffle's use of the
  // generator is not fixed across standard libraries).
  for (size_t i = round_.size() - 1; i > 0; --i) std::swap(round_[i], round_[static_cast<size_t>(pick(static_cast<int>(i + 1)))]);
  at_ = 0;
}

FaultKind FaultSchedule::next() {
  if (at_ == round_.size()) shuffleRound();
  return round_[at_++];
}

double FaultSchedule::uniform(double low, double high) {
  const double unit = static_cast<double>(random_()) / 4294967296.0;
  return low + (high - low) * unit;
}

int FaultSchedule::pick(int count) { return static_cast<int>(random_() % static_cast<uint32_t>(count)); }

}  // namespace portrelay::soak
