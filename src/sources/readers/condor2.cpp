// Condor 2 (id 6): "key=value" text lines on port 55278.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <string_view>

#include "sources/readers/network_games.h"
#include "sources/telemetry_math.h"
#include "sources/text_number.h"

namespace portrelay::readers {

namespace {

constexpr std::string_view kFloatKeys[] = {
    "time",       "slipball",    "altitude",    "vario",       "evario",      "nettovario",
    "integrator", "compass",     "turnrate",    "yawstringangle", "radiofrequency", "yaw",
    "pitch",      "bank",        "quaternionx", "quaterniony", "quaternionz", "ax",
    "ay",         "az",          "vx",          "vy",          "vz",          "rollrate",
    "pitchrate",  "yawrate",     "gforce",      "height",      "wheelheight", "turbulencestrength",
    "surfaceroughness", "mc",    "water"};
static_assert(std::size(kFloatKeys) == static_cast<size_t>(CondorKey::count));

// The float, truncated toward zero and held to the integer range.
int32_t toInteger(float value) {
  constexpr double kLowest = std::numeric_limits<int32_t>::min();
  constexpr double kHighest = std::numeric_limits<int32_t>::max();
  return static_cast<int32_t>(std::clamp(std::trunc(static_cast<double>(value)), kLowest, kHighest));
}

void keepLine(std::string_view key, std::string_view value, Condor2Values& kept) {
  if (key == "hudmessages") {
    const size_t n = std::min(value.size(), sizeof kept.hudMessages - 1);
    std::memcpy(kept.hudMessages, value.data(), n);
    kept.hudMessages[n] = '\0';
    return;
  }
  auto number = static_cast<float>(leadingNumber(value.data(), value.data() + value.size()));
  if (!std::isfinite(number)) number = 0.0f;  // beyond the float range counts as no number
  if (key == "flaps") {
    kept.flaps = toInteger(number);
    return;
  }
  for (size_t i = 0; i < std::size(kFloatKeys); ++i) {
    if (kFloatKeys[i] == key) {
      kept.values[i] = number;
      return;
    }
  }
}

}  // namespace

bool decodeCondor2(ByteView datagram, Condor2Values& kept, SampleRecord& record) {
  if (datagram.size < kCondor2Shortest) return false;
  const std::string_view text(reinterpret_cast<const char*>(datagram.data), datagram.size);
  size_t begin = 0;
  while (begin < text.size()) {
    size_t end = text.find_first_of("\r\n", begin);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view line = text.substr(begin, end - begin);
    const size_t equals = line.find('=');
    if (equals != std::string_view::npos) keepLine(line.substr(0, equals), line.substr(equals + 1), kept);
    begin = end + 1;
  }

  using namespace channel;
  using K = CondorKey;
  double* d = record.data;
  d[pitch_position] = toDegrees(kept[K::pitch]);
  d[roll_position] = -toDegrees(kept[K::bank]);
  d[yaw_position] = toDegrees(kept[K::yaw]) - 180.0;
  d[lateral_accel] = kept[K::ax];
  d[longitu_accel] = kept[K::ay];
  d[vertica_accel] = kept[K::az];
  d[lateral_speed] = kept[K::vx];
  d[longitu_speed] = kept[K::vy];
  d[vertica_speed] = kept[K::vz];
  d[roll_speed] = toDegrees(kept[K::rollrate]);
  d[pitch_speed] = toDegrees(kept[K::pitchrate]);
  d[yaw_speed] = toDegrees(kept[K::yawrate]);
  return true;
}

bool Condor2Reader::read(SampleRecord& record) {
  // In arrival order, so that a key missing from the newest keeps the value an older one brought.
  if (!takeWaiting([&](ByteView datagram) { return decodeCondor2(datagram, kept_, record); })) return false;
  completeSample(record, Completion::Kinematic);
  return true;
}

}  // namespace portrelay::readers
