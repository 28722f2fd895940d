// Project CARS 2 / Automobilista 2: "$pcars2$" with the game state.
#pragma once
#include "gamesim/game_sim.h"
#include "gamesim/published_section.h"

namespace gamesim {

namespace pcars2 {
inline constexpr const char* kName = "$pcars2$";
inline constexpr size_t kSize = 20700;
inline constexpr int32_t kMenu = 1, kPlaying = 2, kPaused = 3;

void writeSample(LayoutWriter memory, const MotionSample& m, int32_t gameState);
}  // namespace pcars2

// State: the game state (pcars2::kPlaying by default).
class ProjectCarsSim : public GameSim {
 public:
  ProjectCarsSim() : GameSim(pcars2::kPlaying) {}
  bool start() override { return memory_.publish(); }
  void stop() override { memory_.close(); }
  void write(const MotionSample& sample) override {
    if (memory_.published()) pcars2::writeSample(memory_.writer(), sample, state());
  }

 private:
  PublishedSection memory_{pcars2::kName, pcars2::kSize};
};

}  // namespace gamesim
