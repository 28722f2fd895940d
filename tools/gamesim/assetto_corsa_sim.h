// Assetto Corsa / Competizione and Assetto Corsa Evo: the physics page, and
// (not for Evo) the graphics page with the session status.
#pragma once
#include "gamesim/game_sim.h"
#include "gamesim/published_section.h"

namespace gamesim {

namespace ac {
inline constexpr const char* kPhysicsName = "Local\\acpmf_physics";
inline constexpr const char* kGraphicsName = "Local\\acpmf_graphics";
inline constexpr size_t kPhysicsSize = 712;
inline constexpr size_t kGraphicsSize = 1320;
inline constexpr double kPageG = 9.81;
// Graphics status values.
inline constexpr int32_t kOff = 0, kReplay = 1, kLive = 2, kPause = 3;

void writePhysics(LayoutWriter page, const MotionSample& m, int32_t packet);
void writeGraphics(LayoutWriter page, int32_t packet, int32_t status);
}  // namespace ac

// State: the graphics status (ac::kLive by default).
class AssettoCorsaSim : public GameSim {
 public:
  explicit AssettoCorsaSim(bool withGraphics = true);
  bool start() override;
  void stop() override;
  void write(const MotionSample& sample) override;

 private:
  bool withGraphics_;
  PublishedSection physics_{ac::kPhysicsName, ac::kPhysicsSize};
  PublishedSection graphics_{ac::kGraphicsName, ac::kGraphicsSize};
  int32_t packet_ = 0;
};

}  // namespace gamesim
