#include "sources/readers/rfactor2.h"

#include <algorithm>
#include <cmath>

#include "log/console.h"
#include "platform/processes.h"

namespace portrelay::readers {

Quaternion quaternionFromMatrix(const double m[9]) {
  const double m00 = m[0], m01 = m[1], m02 = m[2];
  const double m10 = m[3], m11 = m[4], m12 = m[5];
  const double m20 = m[6], m21 = m[7], m22 = m[8];
  Quaternion q;
  const double t = m00 + m11 + m22 + 1.0;
  if (t > 0.0625) {
    const double s = std::sqrt(t);
    q.w = s / 2;
    q.x = (m21 - m12) * 0.5 / s;
    q.y = (m02 - m20) * 0.5 / s;
    q.z = (m10 - m01) * 0.5 / s;
  } else if (m00 > m11 && m00 > m22) {
    const double s = std::sqrt(m00 + 1.0 - m11 - m22);
    q.x = s / 2;
    q.y = (m10 + m01) * 0.5 / s;
    q.z = (m20 + m02) * 0.5 / s;
    q.w = (m21 - m12) * 0.5 / s;
  } else if (m11 > m22) {
    const double s = std::sqrt(m11 + 1.0 - m00 - m22);
    q.y = s / 2;
    q.z = (m21 + m12) * 0.5 / s;
    q.x = (m10 + m01) * 0.5 / s;
    q.w = (m02 - m20) * 0.5 / s;
  } else {
    const double s = std::sqrt(m22 + 1.0 - m00 - m11);
    q.z = s / 2;
    q.y = (m21 + m12) * 0.5 / s;
    q.x = (m02 + m20) * 0.5 / s;
    q.w = (m10 - m01) * 0.5 / s;
  }
  return q;
}

bool copyRFactor2(ByteView page, double& lastStamp, SampleRecord& record) {
  if (!page.covers(0, kRFactor2Size)) return false;
  const double stamp = page.f64(12);
  if (!(stamp > lastStamp)) return false;
  lastStamp = stamp;
  using namespace channel;
  double* d = record.data;
  d[lateral_speed] = -page.f64(184);
  d[vertica_speed] = page.f64(192);
  d[longitu_speed] = -page.f64(200);
  d[lateral_accel] = -page.f64(208);
  d[vertica_accel] = page.f64(216);
  d[longitu_accel] = -page.f64(224);
  d[pitch_speed] = toDegrees(page.f64(304), kFullPi);
  d[yaw_speed] = -toDegrees(page.f64(312), kFullPi);
  d[roll_speed] = toDegrees(page.f64(320), kFullPi);
  d[pitch_accel] = toDegrees(page.f64(328), kFullPi);
  d[yaw_accel] = -toDegrees(page.f64(336), kFullPi);
  d[roll_accel] = toDegrees(page.f64(344), kFullPi);

  double matrix[9];
  for (int i = 0; i < 9; ++i) matrix[i] = page.f64(232 + 8 * static_cast<size_t>(i));
  const Quaternion q = quaternionFromMatrix(matrix);
  const double w = q.w, x = q.x, y = q.y, z = q.z;
  // Rounding can carry the sine a hair past 1 at a 90-degree attitude, where
  // asin would give NaN: hold it to its domain.
  const double rollSine = std::clamp(2 * (y * x + w * z), -1.0, 1.0);
  d[yaw_position] = -toDegrees(std::atan2(2 * (y * w - x * z), 1 - 2 * (y * y + z * z)), kFullPi);
  d[roll_position] = toDegrees(std::asin(rollSine), kFullPi);
  d[pitch_position] = toDegrees(std::atan2(2 * (w * x - y * z), 1 - 2 * (x * x + z * z)), kFullPi);
  return true;
}

bool RFactor2Reader::gameProcessRunning() const { return platform::isProcessRunning(L"rFactor2.exe"); }

bool RFactor2Reader::detect() {
  if (!gameProcessRunning()) return recordClues(false, false);
  MappedSection probe;  // released when the test ends
  if (!probe.openExisting(kRFactor2Name) || !probe.map(kRFactor2Size)) return recordClues(false, true);
  const uint64_t stamp = probe.view().load<uint64_t>(12);  // bits: a NaN left behind never moves
  const bool moved = stamp != detectedStamp_;
  detectedStamp_ = stamp;
  return recordClues(life_.test(moved), true);
}

bool RFactor2Reader::attach() {
  if (mapped_ || !platform::isProcessRunning(L"rFactor2.exe") || !mappingExists(kRFactor2Name)) {
    detach();
    return false;
  }
  if (!openAndMapExisting(page_, kRFactor2Name, kRFactor2Size)) return false;
  if (page_.view().u32(0) == kRFactor2Unready) {
    page_.release();
    return false;
  }
  printConsole(L"Memory mapped successfully\n");
  mapped_ = true;
  lastStamp_ = 0.0;
  return true;
}

bool RFactor2Reader::read(SampleRecord& record) {
  if (!mapped_ || !page_.mapped() || !copyRFactor2(page_.view(), lastStamp_, record)) return false;
  completeSample(record, Completion::Kinematic, kFullPi);
  return true;
}

void RFactor2Reader::detach() {
  page_.release();
  mapped_ = false;
  lastStamp_ = 0.0;
}

}  // namespace portrelay::readers
