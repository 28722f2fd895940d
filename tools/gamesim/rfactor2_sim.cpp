#include "gamesim/rfactor2_sim.h"

#include <cmath>

namespace gamesim {

namespace rf2 {

void orientationMatrix(const MotionSample& m, double out[9]) {
  // Heading about y, attitude about z, bank about x: R = Ry(h) Rz(a) Rx(b).
  const double h = -m.yaw, a = m.roll, b = m.pitch;
  const double c1 = std::cos(h / 2), s1 = std::sin(h / 2);
  const double c2 = std::cos(a / 2), s2 = std::sin(a / 2);
  const double c3 = std::cos(b / 2), s3 = std::sin(b / 2);
  const double w = c1 * c2 * c3 - s1 * s2 * s3;
  const double x = s1 * s2 * c3 + c1 * c2 * s3;
  const double y = s1 * c2 * c3 + c1 * s2 * s3;
  const double z = c1 * s2 * c3 - s1 * c2 * s3;
  out[0] = 1 - 2 * (y * y + z * z);
  out[1] = 2 * (x * y - z * w);
  out[2] = 2 * (x * z + y * w);
  out[3] = 2 * (x * y + z * w);
  out[4] = 1 - 2 * (x * x + z * z);
  out[5] = 2 * (y * z - x * w);
  out[6] = 2 * (x * z - y * w);
  out[7] = 2 * (y * z + x * w);
  out[8] = 1 - 2 * (x * x + y * y);
}

void writeMarker(LayoutWriter page, int32_t state) {
  page.put<uint32_t>(0, state == kUnready ? kUnreadyMarker : kReadyMarker);
}

void writeSample(LayoutWriter page, const MotionSample& m, double stamp) {
  page.put<double>(184, -m.lateralSpeed);
  page.put<double>(192, m.verticalSpeed);
  page.put<double>(200, -m.longitudinalSpeed);
  page.put<double>(208, -m.lateralAccel);
  page.put<double>(216, m.verticalAccel);
  page.put<double>(224, -m.longitudinalAccel);
  double matrix[9];
  orientationMatrix(m, matrix);
  for (size_t i = 0; i < 9; ++i) page.put<double>(232 + 8 * i, matrix[i]);
  page.put<double>(304, m.pitchRate);
  page.put<double>(312, -m.yawRate);
  page.put<double>(320, m.rollRate);
  page.put<double>(328, m.pitchAccel);
  page.put<double>(336, -m.yawAccel);
  page.put<double>(344, m.rollAccel);
  page.put<double>(12, stamp);  // last: the stamp says the page is complete
}

}  // namespace rf2

bool RFactor2Sim::start() {
  if (!page_.publish()) return false;
  rf2::writeMarker(page_.writer(), state());
  return true;
}

void RFactor2Sim::write(const MotionSample& sample) {
  if (!page_.published()) return;
  rf2::writeMarker(page_.writer(), state());
  rf2::writeSample(page_.writer(), sample, sample.time);
}

}  // namespace gamesim
