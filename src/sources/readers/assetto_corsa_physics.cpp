// The physics page both Assetto Corsa readers decode.
#include "sources/readers/assetto_corsa.h"

namespace portrelay::readers {

namespace {
constexpr double kAcG = 9.81;  // the page's g, not the standard 9.80665
}  // namespace

bool copyAcPhysics(ByteView page, int32_t& lastPacket, SampleRecord& record) {
  if (!page.covers(0, kAcPhysicsSize)) return false;
  const int32_t packet = page.i32(0);
  if (packet == lastPacket) return false;
  lastPacket = packet;
  using namespace channel;
  double* d = record.data;
  // Acceleration in g along x/y/z at 44/48/52.
  d[lateral_accel] = page.f32(44) * kAcG;
  d[longitu_accel] = page.f32(52) * kAcG;
  d[vertica_accel] = -page.f32(48) * kAcG;
  // Local velocity x/y/z at 568/572/576.
  d[lateral_speed] = page.f32(568);
  d[longitu_speed] = page.f32(576);
  d[vertica_speed] = page.f32(572);
  // Local angular velocity x/y/z at 296/300/304.
  d[yaw_speed] = toDegrees(page.f32(300));
  d[roll_speed] = toDegrees(page.f32(304));
  d[pitch_speed] = toDegrees(page.f32(296));
  // Heading, pitch and roll at 208/212/216.
  d[yaw_position] = -toDegrees(page.f32(208));
  d[roll_position] = -toDegrees(page.f32(216));
  d[pitch_position] = toDegrees(page.f32(212));
  return true;
}

int32_t acGraphicsStatus(ByteView page) { return page.covers(0, kAcGraphicsSize) ? page.i32(4) : -1; }

bool AcPhysicsPulse::test() {
  MappedSection physics;  // released when the test ends
  if (!physics.createOrOpen(kAcPhysicsName, kAcPhysicsSize) || !physics.map(kAcPhysicsSize)) return false;
  const int32_t packet = physics.view().i32(0);
  const bool moved = packet != lastPacket_;
  lastPacket_ = packet;
  return life_.test(moved);
}

}  // namespace portrelay::readers
