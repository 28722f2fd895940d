#include "gamesim/iracing_sim.h"

namespace gamesim {

namespace irsdk {

namespace {

constexpr size_t kVariableNameOffset = 16;
constexpr size_t kVariableNameField = 32;
constexpr int32_t kFloatType = 4;

size_t variableIndex(const char* name) {
  const auto& names = variableNames();
  for (size_t i = 0; i < names.size(); ++i)
    if (names[i] == name) return i;
  return names.size();
}

}  // namespace

const std::vector<std::string>& variableNames() {
  // A few the reader does not want come first, as in the real header.
  static const std::vector<std::string> names = {"SessionTime", "Speed",    "RPM",       "LatAccel",
                                                 "LongAccel",   "VertAccel", "YawRate",  "RollRate",
                                                 "PitchRate",   "Yaw",       "Roll",     "Pitch",
                                                 "YawNorth"};
  return names;
}

Layout layout() {
  Layout l;
  l.variableHeaders = 144;  // after the 112-byte header, on a 16-byte boundary
  l.bufferLength = variableNames().size() * sizeof(float);
  const size_t headersEnd = l.variableHeaders + variableNames().size() * kVariableHeaderSize;
  l.firstBuffer = (headersEnd + 15) / 16 * 16;
  return l;
}

void writeConnected(LayoutWriter memory, bool connected) { memory.put<int32_t>(4, connected ? 1 : 0); }

void writeHeader(LayoutWriter memory, bool connected) {
  const Layout l = layout();
  const auto& names = variableNames();
  memory.put<int32_t>(0, 2);                                  // version
  writeConnected(memory, connected);                          // status
  memory.put<int32_t>(8, 60);                                 // tick rate
  memory.put<int32_t>(24, static_cast<int32_t>(names.size()));  // number of variables
  memory.put<int32_t>(28, static_cast<int32_t>(l.variableHeaders));
  memory.put<int32_t>(32, kBufferCount);
  memory.put<int32_t>(36, static_cast<int32_t>(l.bufferLength));
  for (int32_t b = 0; b < kBufferCount; ++b) {
    const size_t descriptor = 48 + 16 * static_cast<size_t>(b);
    memory.put<int32_t>(descriptor, 0);
    memory.put<int32_t>(descriptor + 4, static_cast<int32_t>(l.firstBuffer + l.bufferLength * static_cast<size_t>(b)));
  }
  for (size_t i = 0; i < names.size(); ++i) {
    const size_t header = l.variableHeaders + i * kVariableHeaderSize;
    memory.put<int32_t>(header, kFloatType);
    memory.put<int32_t>(header + 4, static_cast<int32_t>(i * sizeof(float)));  // offset in a buffer
    memory.put<int32_t>(header + 8, 1);                                         // count
    memory.putText(header + kVariableNameOffset, names[i].c_str(), kVariableNameField);
  }
}

void writeSample(LayoutWriter memory, const MotionSample& m, int32_t buffer, int32_t tick) {
  const Layout l = layout();
  const size_t base = l.firstBuffer + l.bufferLength * static_cast<size_t>(buffer);
  const auto put = [&](const char* name, double value) {
    memory.put<float>(base + variableIndex(name) * sizeof(float), static_cast<float>(value));
  };
  // A proper game: the accelerations include gravity.
  const GravityComponents g = gravityFor(m.roll, m.pitch);
  put("SessionTime", m.time);
  put("Speed", m.speed);
  put("RPM", m.rpm);
  put("LatAccel", -(m.lateralAccel + g.lateral));
  put("LongAccel", m.longitudinalAccel + g.longitudinal);
  put("VertAccel", m.verticalAccel + g.vertical);
  put("YawRate", m.yawRate);
  put("RollRate", m.rollRate);
  put("PitchRate", m.pitchRate);
  put("Yaw", m.yaw);
  put("Roll", m.roll);
  put("Pitch", -m.pitch);
  put("YawNorth", m.yaw);
  memory.put<int32_t>(48 + 16 * static_cast<size_t>(buffer), tick);
}

}  // namespace irsdk

bool IRacingSim::start() {
  tick_ = 0;
  if (!memory_.publish()) return false;
  dataValid_ = portrelay::platform::NamedEvent::create(irsdk::kEventName);
  if (!dataValid_.valid()) {
    memory_.close();
    return false;
  }
  irsdk::writeHeader(memory_.writer(), state() != irsdk::kDisconnected);
  return true;
}

void IRacingSim::stop() {
  memory_.close();
  dataValid_.close();
}

void IRacingSim::write(const MotionSample& sample) {
  if (!memory_.published()) return;
  const bool connected = state() != irsdk::kDisconnected;
  irsdk::writeConnected(memory_.writer(), connected);
  if (!connected) return;  // a disconnected game leaves its buffers alone
  ++tick_;
  irsdk::writeSample(memory_.writer(), sample, tick_ % irsdk::kBufferCount, tick_);
  dataValid_.signal();
}

}  // namespace gamesim
