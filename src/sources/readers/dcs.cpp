// DCS (id 1): the export script's text datagrams on port 4124.
#include "sources/readers/network_games.h"
#include "sources/text_number.h"
#include "sources/telemetry_math.h"

namespace portrelay::readers {

namespace {
bool endsUnspacedToken(char c) { return c < 0x20 || c > 0x3B; }
}  // namespace

double takeDcsValue(const char*& cursor, const char* end) {
  const char* tokenEnd = cursor;
  while (tokenEnd < end && *tokenEnd != ' ') ++tokenEnd;
  if (tokenEnd == end) {  // no space left: the token ends at the first character outside ' '..';'
    tokenEnd = cursor;
    while (tokenEnd < end && !endsUnspacedToken(*tokenEnd)) ++tokenEnd;
    if (tokenEnd == end) return 0.0;
  }
  if (static_cast<size_t>(tokenEnd - cursor) < kDcsShortestToken) return 0.0;  // stays: so do all after it
  const double value = leadingNumber(cursor, tokenEnd);
  cursor = tokenEnd + 1;  // the separator goes with it
  return value;
}

bool decodeDcs(ByteView datagram, SampleRecord& record) {
  if (datagram.size <= 1) return false;
  double v[kDcsValueCount];
  const char* cursor = reinterpret_cast<const char*>(datagram.data);
  const char* const end = cursor + datagram.size;
  for (double& value : v) value = takeDcsValue(cursor, end);

  using namespace channel;
  double* d = record.data;
  d[longitu_accel_g] = v[0] * kGravity;
  d[lateral_accel_g] = v[1] * kGravity;
  d[vertica_accel_g] = v[2] * kGravity;
  d[lateral_speed] = v[3];
  d[longitu_speed] = v[4];
  d[vertica_speed] = v[5];
  d[yaw_speed] = toDegrees(v[6]);
  d[roll_speed] = toDegrees(v[7]);
  d[pitch_speed] = toDegrees(v[8]);
  d[yaw_position] = toDegrees(v[9]);
  d[roll_position] = toDegrees(v[10]);
  d[pitch_position] = toDegrees(v[11]);
  d[fr_lft_susp_pos] = v[13];
  d[re_lft_susp_pos] = v[15];
  const double gameTime = v[24];  // seconds
  record.gameDelta = (gameTime - record.gameTime) * 1000.0;
  record.gameTime = gameTime;
  return true;
}

bool DcsReader::read(SampleRecord& record) {
  if (!takeWaiting([&](ByteView datagram) { return decodeDcs(datagram, record); })) return false;
  completeSample(record, Completion::Proper);
  return true;
}

}  // namespace portrelay::readers
