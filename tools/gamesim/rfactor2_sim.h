// rFactor 2 with our telemetry plug-in: "Local\Tiltaverse_rf2_data".
#pragma once
#include "gamesim/game_sim.h"
#include "gamesim/published_section.h"

namespace gamesim {

namespace rf2 {
inline constexpr const char* kName = "Local\\Tiltaverse_rf2_data";
inline constexpr size_t kSize = 1888;
inline constexpr uint32_t kUnreadyMarker = 1234567890u;
inline constexpr uint32_t kReadyMarker = 1;
// State values of the simulation.
inline constexpr int32_t kReady = 0, kUnready = 1;

// The orientation matrix, row by row, whose heading / attitude / bank reading
// gives back the sample's yaw, roll and pitch.
void orientationMatrix(const MotionSample& m, double out[9]);
void writeSample(LayoutWriter page, const MotionSample& m, double stamp);
void writeMarker(LayoutWriter page, int32_t state);
}  // namespace rf2

class RFactor2Sim : public GameSim {
 public:
  RFactor2Sim() : GameSim(rf2::kReady) {}
  bool start() override;
  void stop() override { page_.close(); }
  // Stamps each sample with the motion's time.
  void write(const MotionSample& sample) override;

 private:
  PublishedSection page_{rf2::kName, rf2::kSize};
};

}  // namespace gamesim
