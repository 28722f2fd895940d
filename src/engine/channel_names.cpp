#include "common/sample_record.h"

namespace portrelay {
namespace {

constexpr int kNameCount = 43;
// Each name fits its entry with its NUL (the longest has 15 characters).
constexpr char kNames[kNameCount][kChannelNameStride] = {
    "lateral_speed",   "lateral_accel",   "lateral_accel_g", "lateral_gravi",   "longitu_speed",
    "longitu_accel",   "longitu_accel_g", "longitu_gravi",   "vertica_speed",   "vertica_accel",
    "vertica_accel_g", "vertica_gravi",   "yaw_position",    "yaw_speed",       "yaw_accel",
    "roll_position",   "roll_speed",      "roll_accel",      "pitch_position",  "pitch_speed",
    "pitch_accel",     "fr_lft_susp_pos", "fr_rgt_susp_pos", "re_lft_susp_pos", "re_rgt_susp_pos",
    "engine_torque",   "rpm",             "speed",           "stall",           "flaps",
    "ldg_gear_turb",   "ldg_gear",        "spd_brakes",      "simtools_axis1a", "simtools_axis2a",
    "simtools_axis3a", "simtools_axis4a", "simtools_axis1b", "simtools_axis2b", "simtools_axis3b",
    "simtools_axis4b", "",                "",
};

}  // namespace

const char* channelNameList() { return kNames[0]; }

const char* channelName(int index) {
  if (index < 1 || index > 41) return "";
  return kNames[index - 1];
}

}  // namespace portrelay
