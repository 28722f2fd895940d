// X-Plane (id 0): "DATA" datagrams of 36-byte records on port 4321.
#include "sources/readers/network_games.h"

namespace portrelay::readers {

namespace {
// Record indexes (only the lowest byte of the 32-bit index counts).
constexpr uint8_t kSpeeds = 3;
constexpr uint8_t kAttitude = 17;
constexpr uint8_t kAttitudeAlternative = 127;
constexpr uint8_t kGear = 66;
constexpr uint8_t kLoadsAndRates = 135;
}  // namespace

bool decodeXPlane(ByteView datagram, int32_t& groundState, SampleRecord& record) {
  if (datagram.size < kXPlaneShortest) return false;
  using namespace channel;
  double* d = record.data;
  const size_t records = (datagram.size - kXPlaneHeaderLength) / kXPlaneRecordLength;
  for (size_t i = 0; i < records; ++i) {
    const size_t at = kXPlaneHeaderLength + i * kXPlaneRecordLength;
    const auto r = [&](int n) { return static_cast<double>(datagram.f32(at + 4 + 4 * static_cast<size_t>(n))); };
    switch (datagram.u8(at)) {
      case kSpeeds:
        d[speed] = r(7);
        break;
      case kAttitude:
      case kAttitudeAlternative:  // degrees as sent
        d[pitch_position] = r(0);
        d[roll_position] = r(1);
        d[yaw_position] = -r(2);
        break;
      case kGear:
        d[fr_lft_susp_pos] = r(0);
        d[fr_rgt_susp_pos] = r(0);
        d[re_rgt_susp_pos] = r(1);
        d[re_lft_susp_pos] = r(2);
        groundState = d[fr_lft_susp_pos] > 0 && d[re_rgt_susp_pos] > 0 && d[re_lft_susp_pos] > 0 ? 1 : 0;
        break;
      case kLoadsAndRates:
        d[lateral_accel_g] = r(0);
        d[longitu_accel_g] = -r(2);
        d[vertica_accel_g] = r(1) / 10.0;
        d[roll_speed] = r(3);
        d[pitch_speed] = r(4);
        d[yaw_speed] = -r(5);
        break;
      default:
        break;
    }
  }
  return true;
}

bool XPlaneReader::read(SampleRecord& record) {
  int32_t ground = groundState();
  if (!takeWaiting([&](ByteView datagram) { return decodeXPlane(datagram, ground, record); })) return false;
  setGroundState(ground);
  completeSample(record, Completion::Proper);
  return true;
}

}  // namespace portrelay::readers
