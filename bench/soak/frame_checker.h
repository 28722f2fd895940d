// Checks every motion frame one rig received, in the order it arrived:
//  - the rig's own CRC check passed (the rig counts the frames that failed it)
//    and the frame came checksummed;
//  - all six floats are finite;
//  - no float moved further from the previous frame than the fade permits
//    (stepBound) while frames were due;
//  - no frame arrived more than kStallMs after the previous one while frames
//    were due;
//  - after the serial link was made anew (the rig answered the identity
//    query that the greeting follows), no frame carries a sample the game
//    wrote before that query arrived;
//  - after the game came back, a frame computed from its new samples arrived
//    within kReturnMs.
// It also takes the latency of every new sample it sees.
#pragma once
#include <array>
#include <atomic>
#include <cstdint>
#include <optional>
#include <vector>

#include "game_writer.h"
#include "soak_report.h"
#include "timeline.h"
#include "virtual_rig.h"

namespace portrelay::soak {

inline constexpr double kStallMs = 50.0;
inline constexpr double kReturnMs = 3000.0;

// The largest change of a frame float (axis 0..5) between two consecutive
// frames that the output fade permits:
//   live motion of kStallMs (the longest a thread may stand still, so the
//   longest two consecutive frames' computations lie apart), plus
//   one fade step, which counts at most 10 ms of the 4000-ms fade, times the
//   widest distance between a fade's start value and the live value of that
//   axis (sway and surge stay on a circle of radius 5, so 10; heave between 0
//   at the start and gravity plus 1.5, so 12; yaw, roll and pitch within the
//   +-12 of the soak's steepest chains, so 24; limits are only changed
//   between pairs that enclose those ranges).
double stepBound(int axis);

class FrameChecker {
 public:
  FrameChecker(Link link, Timeline& timeline, const GameWriter& game, SoakReport& report);

  // One frame; localArrivalNs is its arrival on this process's clock. Frames
  // come in the order of arrival, each only once every event of the timeline
  // before its arrival is recorded.
  void check(const rigsim::ReceivedFrame& frame, int64_t localArrivalNs);
  // Everything that arrived up to checkedNs has been checked: a return of the
  // game longer ago than kReturnMs without a frame of it fails.
  void checkedUpTo(int64_t checkedNs);
  // Returns of the game up to this time are settled (seen or failed).
  int64_t returnsDoneUpTo() const { return returnsDoneUpTo_.load(); }

 private:
  std::optional<int64_t> sampleOf(int64_t tag, int64_t arrivalNs) const;

  Link link_;
  Timeline& timeline_;
  const GameWriter& game_;
  SoakReport& report_;
  bool havePrevious_ = false;
  std::array<float, 6> previous_{};
  int64_t lastArrivalNs_ = 0;
  int64_t newestSample_ = -1;
  // The game's return being awaited (0: none), and the frame held before it.
  int64_t returnNs_ = 0;
  std::array<float, 2> held_{};
  std::atomic<int64_t> returnsDoneUpTo_{0};
};

}  // namespace portrelay::soak
