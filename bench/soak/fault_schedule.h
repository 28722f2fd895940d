// The faults the soak injects, and their order: every round takes each kind
// once, in an order shuffled from the seed, so a run of a few minutes meets
// every kind and the same seed gives the same run.
#pragma once
#include <cstdint>
#include <random>
#include <vector>

namespace portrelay::soak {

enum class FaultKind {
  rigUnplug,          // the rig vanishes and returns
  rigStall,           // the controller stops reading its port for 3 s
  rigGarbage,         // the rig returns answering identity queries with bytes that form no frame
  rigWrongId,         // the rig returns answering with an identity no library accepts
  gameCrash,          // the game ends without withdrawing its memory and starts again
  gamePause,          // the game keeps writing the same values (frozen data)
  readyOff,           // the host reports the rig not ready, then ready again
  filterChange,       // a valid filter string on one of the free slots
  filterInvalid,      // an invalid filter string, then a valid one
  limitsChange,       // rig and input limits, valid and invalid ones
  fanVanish,          // the fan controller's port vanishes and returns
  udpLink,            // the rig moves to the UDP link and back (native, root)
  count
};

inline constexpr int kFaultKinds = static_cast<int>(FaultKind::count);

const char* faultName(FaultKind kind);

class FaultSchedule {
 public:
  FaultSchedule(uint32_t seed, bool withUdp);
  FaultKind next();
  // A number drawn from the schedule's own generator, for a fault's details.
  double uniform(double low, double high);
  int pick(int count);

 private:
  void shuffleRound();

  std::mt19937 random_;
  bool withUdp_;
  std::vector<FaultKind> round_;
  size_t at_ = 0;
};

}  // namespace portrelay::soak
