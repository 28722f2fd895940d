// A recorded session (portrelay run --record) read back as motion samples, so
// gamesim can replay it as any game's telemetry.
#pragma once
#include <string>
#include <vector>

#include "gamesim/lap_motion.h"

namespace gamesim {

class RecordedMotion {
 public:
  // Reads the CSV: a header naming the columns, then one row per engine cycle.
  // Times come from "wall_time_s" where the recording has it, else from
  // "time_s" (one of them is needed); every motion channel it finds is used
  // (degrees and degrees per second in the file, radians here), missing ones
  // stay 0. False with a reason on a file that cannot be used.
  bool load(const std::string& path, std::string& error);

  const std::vector<MotionSample>& samples() const { return samples_; }

 private:
  std::vector<MotionSample> samples_;
};

}  // namespace gamesim
