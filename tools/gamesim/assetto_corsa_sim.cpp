#include "gamesim/assetto_corsa_sim.h"

namespace gamesim {

namespace ac {

void writePhysics(LayoutWriter page, const MotionSample& m, int32_t packet) {
  page.put<float>(44, static_cast<float>(m.lateralAccel / kPageG));  // acceleration in g, x y z
  page.put<float>(48, static_cast<float>(-m.verticalAccel / kPageG));
  page.put<float>(52, static_cast<float>(m.longitudinalAccel / kPageG));
  page.put<float>(208, static_cast<float>(-m.yaw));  // heading, pitch, roll
  page.put<float>(212, static_cast<float>(m.pitch));
  page.put<float>(216, static_cast<float>(-m.roll));
  page.put<float>(296, static_cast<float>(m.pitchRate));  // local angular velocity x y z
  page.put<float>(300, static_cast<float>(m.yawRate));
  page.put<float>(304, static_cast<float>(m.rollRate));
  page.put<float>(568, static_cast<float>(m.lateralSpeed));  // local velocity x y z
  page.put<float>(572, static_cast<float>(m.verticalSpeed));
  page.put<float>(576, static_cast<float>(m.longitudinalSpeed));
  page.put<int32_t>(0, packet);  // last, as the game finishes a page
}

void writeGraphics(LayoutWriter page, int32_t packet, int32_t status) {
  page.put<int32_t>(0, packet);
  page.put<int32_t>(4, status);
}

}  // namespace ac

AssettoCorsaSim::AssettoCorsaSim(bool withGraphics) : GameSim(ac::kLive), withGraphics_(withGraphics) {}

bool AssettoCorsaSim::start() {
  packet_ = 0;
  if (!physics_.publish()) return false;
  if (withGraphics_ && !graphics_.publish()) {
    physics_.close();
    return false;
  }
  if (withGraphics_) ac::writeGraphics(graphics_.writer(), packet_, state());
  return true;
}

void AssettoCorsaSim::stop() {
  physics_.close();
  graphics_.close();
}

void AssettoCorsaSim::write(const MotionSample& sample) {
  if (!physics_.published()) return;
  ++packet_;
  ac::writePhysics(physics_.writer(), sample, packet_);
  if (withGraphics_) ac::writeGraphics(graphics_.writer(), packet_, state());
}

}  // namespace gamesim
