#include "gamesim/recorded_motion.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace gamesim {
namespace {

constexpr double kDegree = kPi / 180.0;

// Which field of a sample a recording's channel fills, and the factor from the
// file's unit to the sample's.
struct Channel {
  const char* name;
  double MotionSample::*field;
  double factor;
};

constexpr Channel kChannels[] = {
    {"time_s", &MotionSample::time, 1.0},
    {"lateral_accel", &MotionSample::lateralAccel, 1.0},
    {"longitu_accel", &MotionSample::longitudinalAccel, 1.0},
    {"vertica_accel", &MotionSample::verticalAccel, 1.0},
    {"lateral_speed", &MotionSample::lateralSpeed, 1.0},
    {"longitu_speed", &MotionSample::longitudinalSpeed, 1.0},
    {"vertica_speed", &MotionSample::verticalSpeed, 1.0},
    {"yaw_position", &MotionSample::yaw, kDegree},
    {"pitch_position", &MotionSample::pitch, kDegree},
    {"roll_position", &MotionSample::roll, kDegree},
    {"yaw_speed", &MotionSample::yawRate, kDegree},
    {"pitch_speed", &MotionSample::pitchRate, kDegree},
    {"roll_speed", &MotionSample::rollRate, kDegree},
    {"yaw_accel", &MotionSample::yawAccel, kDegree},
    {"pitch_accel", &MotionSample::pitchAccel, kDegree},
    {"roll_accel", &MotionSample::rollAccel, kDegree},
    {"speed", &MotionSample::speed, 1.0},
    {"rpm", &MotionSample::rpm, 1.0},
};

std::vector<std::string> split(const std::string& line) {
  std::vector<std::string> cells;
  std::stringstream stream(line);
  for (std::string cell; std::getline(stream, cell, ',');) cells.push_back(cell);
  return cells;
}

}  // namespace

bool RecordedMotion::load(const std::string& path, std::string& error) {
  samples_.clear();
  std::ifstream file(path);
  std::string line;
  if (!file || !std::getline(file, line)) {
    error = path + ": cannot be read";
    return false;
  }
  const std::vector<std::string> header = split(line);
  // The cycles' own monotonic time where the recording has it: the engine's
  // pace, pauses and waits between games included.
  bool wallTime = false;
  for (const std::string& column : header) wallTime = wallTime || column == "wall_time_s";
  std::vector<std::pair<size_t, const Channel*>> used;
  for (const Channel& channel : kChannels) {
    const std::string name = &channel == &kChannels[0] && wallTime ? "wall_time_s" : channel.name;
    for (size_t column = 0; column < header.size(); ++column)
      if (header[column] == name) used.emplace_back(column, &channel);
  }
  if (used.empty() || used.front().second->field != &MotionSample::time) {
    error = path + ": no time_s column";
    return false;
  }
  for (size_t row = 2; std::getline(file, line); ++row) {
    if (line.empty()) continue;
    const std::vector<std::string> cells = split(line);
    if (cells.size() != header.size()) {
      error = path + ": row " + std::to_string(row) + " has " + std::to_string(cells.size()) + " cells, the header " +
              std::to_string(header.size());
      return false;
    }
    MotionSample sample;
    for (const auto& [column, channel] : used) {
      char* end = nullptr;
      const double value = std::strtod(cells[column].c_str(), &end);
      if (end == cells[column].c_str()) {
        error = path + ": row " + std::to_string(row) + ", column " + channel->name + ": not a number";
        return false;
      }
      sample.*(channel->field) = value * channel->factor;
    }
    samples_.push_back(sample);
  }
  if (samples_.empty()) {
    error = path + ": no rows";
    return false;
  }
  return true;
}

}  // namespace gamesim
