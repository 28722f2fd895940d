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
  // Needs the "time_s" column; every motion channel it finds is used
  // (degrees and degrees per second in the file, radians here), missing ones
  // stay 0. False with a reason on a file that cannot be used.
  bool load(const std::string& path, std::string& error);

  const std::vector<MotionSample>& samples() const { return samples_; }

 private:
  std::vector<MotionSample> samples_;
};

}  // namespace gamesim
