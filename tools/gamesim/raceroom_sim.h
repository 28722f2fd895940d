// RaceRoom: "$R3E" with the player block and the paused / menus / replay flags.
#pragma once
#include "gamesim/game_sim.h"
#include "gamesim/published_section.h"

namespace gamesim {

namespace r3e {
inline constexpr const char* kName = "$R3E";
inline constexpr size_t kSize = 39320;
// State values of the simulation.
inline constexpr int32_t kDriving = 0, kPaused = 1, kInMenus = 2, kInReplay = 3;

void writeSample(LayoutWriter memory, const MotionSample& m);
void writeState(LayoutWriter memory, int32_t state);
}  // namespace r3e

class RaceRoomSim : public GameSim {
 public:
  RaceRoomSim() : GameSim(r3e::kDriving) {}
  bool start() override { return memory_.publish(); }
  void stop() override { memory_.close(); }
  void write(const MotionSample& sample) override;

 private:
  PublishedSection memory_{r3e::kName, r3e::kSize};
};

}  // namespace gamesim
