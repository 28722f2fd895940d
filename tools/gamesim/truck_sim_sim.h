// Euro Truck Simulator 2 / American Truck Simulator: the SDK example's packed
// memory "SCSTelemetryExample".
#pragma once
#include "gamesim/game_sim.h"
#include "gamesim/published_section.h"

namespace gamesim {

namespace scs {
inline constexpr const char* kName = "SCSTelemetryExample";
inline constexpr size_t kSize = 177;
// State: 1 running (default), 0 paused.
inline constexpr int32_t kPaused = 0, kRunning = 1;

// Angles in turns; the heading in [0, 1).
void writeSample(LayoutWriter memory, const MotionSample& m, bool running);
}  // namespace scs

class TruckSim : public GameSim {
 public:
  TruckSim() : GameSim(scs::kRunning) {}
  bool start() override { return memory_.publish(); }
  void stop() override { memory_.close(); }
  void write(const MotionSample& sample) override {
    if (memory_.published()) scs::writeSample(memory_.writer(), sample, state() != scs::kPaused);
  }

 private:
  PublishedSection memory_{scs::kName, scs::kSize};
};

}  // namespace gamesim
