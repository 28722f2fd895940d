// The common telemetry record every reader fills: a time frame and 43 values.
#pragma once
#include <cstddef>

namespace portrelay {

inline constexpr int kGameDataCount = 43;
inline constexpr int kBeltSumIndex = 42;

// Game-data indexes, named as the host knows them.
namespace channel {
enum : int {
  lateral_speed = 1, lateral_accel, lateral_accel_g, lateral_gravi,
  longitu_speed, longitu_accel, longitu_accel_g, longitu_gravi,
  vertica_speed, vertica_accel, vertica_accel_g, vertica_gravi,
  yaw_position, yaw_speed, yaw_accel,
  roll_position, roll_speed, roll_accel,
  pitch_position, pitch_speed, pitch_accel,
  fr_lft_susp_pos, fr_rgt_susp_pos, re_lft_susp_pos, re_rgt_susp_pos,
  engine_torque, rpm, speed, stall, flaps, ldg_gear_turb, ldg_gear, spd_brakes,
  simtools_axis1a, simtools_axis2a, simtools_axis3a, simtools_axis4a,
  simtools_axis1b, simtools_axis2b, simtools_axis3b, simtools_axis4b,
};
}  // namespace channel

// Cleared when a game attaches; after that each value keeps what its last
// writer stored, so a channel the game does not fill reads 0 for its whole
// session. Written by the engine thread only; the host reads data live.
struct SampleRecord {
  double timeFrame = 0.0;  // ms between the last two samples (reader's CycleTimer)
  double reserved = 0.0;
  double gameDelta = 0.0;  // ms between the game's own time stamps
  double gameTime = 0.0;   // the game's last time stamp, seconds
  double data[kGameDataCount] = {};
};

// Width of one entry of the channel-name list: the host finds name n at
// firstName + n * kChannelNameStride.
inline constexpr size_t kChannelNameStride = 16;

// The 43-entry name list (41 names, then two empty entries), as fixed-width
// NUL-terminated entries in one contiguous block.
const char* channelNameList();
// Name of game-data index i (1..41), or "" for 0, 42 and out-of-range indexes.
const char* channelName(int index);

}  // namespace portrelay
