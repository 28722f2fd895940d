#include "sources/readers/iracing.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "platform/processes.h"

namespace portrelay::readers {

namespace {

// The game's variables this reader uses, in the order of `Wanted`.
constexpr const char* kWantedNames[] = {"LatAccel", "LongAccel", "VertAccel", "YawRate", "RollRate",
                                        "PitchRate", "Yaw",      "Roll",      "Pitch"};
enum Wanted { LatAccel, LongAccel, VertAccel, YawRate, RollRate, PitchRate, Yaw, Roll, Pitch, kWantedCount };

// Value offsets of the wanted variables in the header order's first match; -1
// when the header lacks one.
void findVariables(ByteView memory, int64_t offsets[kWantedCount]) {
  std::fill(offsets, offsets + kWantedCount, -1);
  const int32_t count = memory.i32(iracing::kVariableCount);
  const int32_t first = memory.i32(iracing::kVariableHeaders);
  if (count <= 0 || first < 0) return;
  for (int64_t i = 0; i < count; ++i) {
    const size_t header = static_cast<size_t>(first) + static_cast<size_t>(i) * iracing::kVariableHeaderSize;
    if (!memory.covers(header, iracing::kVariableHeaderSize)) break;  // the rest lies outside the view
    const char* name = reinterpret_cast<const char*>(memory.data + header + iracing::kNameOffset);
    for (int w = 0; w < kWantedCount; ++w) {
      if (offsets[w] < 0 && std::strncmp(kWantedNames[w], name, iracing::kNameLength) == 0) {
        offsets[w] = memory.i32(header + 4);
        break;
      }
    }
  }
}

// Writes `sign * scale(value)` for a variable that lies inside the copied buffer.
template <typename Convert>
void writeVariable(const IRacingBuffers& buffers, int64_t offset, double& target, Convert convert) {
  if (offset < 0 || static_cast<size_t>(offset) + sizeof(float) > buffers.copiedLength) return;
  float value = 0.0f;
  std::memcpy(&value, buffers.copy.data() + offset, sizeof value);
  target = convert(static_cast<double>(value));
}

void readVariables(ByteView memory, const IRacingBuffers& buffers, SampleRecord& record) {
  int64_t offsets[kWantedCount];
  findVariables(memory, offsets);
  using namespace channel;
  double* d = record.data;
  const auto same = [](double v) { return v; };
  const auto negated = [](double v) { return -v; };
  const auto degrees = [](double v) { return toDegrees(v, kFullPi); };
  writeVariable(buffers, offsets[LatAccel], d[lateral_accel_g], negated);
  writeVariable(buffers, offsets[LongAccel], d[longitu_accel_g], same);
  writeVariable(buffers, offsets[VertAccel], d[vertica_accel_g], same);
  // The rates go in as the game gives them (radians per second).
  writeVariable(buffers, offsets[YawRate], d[yaw_speed], same);
  writeVariable(buffers, offsets[RollRate], d[roll_speed], same);
  writeVariable(buffers, offsets[PitchRate], d[pitch_speed], same);
  writeVariable(buffers, offsets[Yaw], d[yaw_position], degrees);
  writeVariable(buffers, offsets[Roll], d[roll_position], degrees);
  writeVariable(buffers, offsets[Pitch], d[pitch_position], [](double v) { return -toDegrees(v, kFullPi); });
}

}  // namespace

IRacingPage takeIRacingSample(ByteView memory, IRacingBuffers& buffers, SampleRecord& record) {
  if (!memory.covers(0, iracing::kBufferDescriptors)) return IRacingPage::Disconnected;
  if ((memory.i32(iracing::kStatus) & 1) == 0) {
    buffers.lastTick = INT32_MAX;  // any buffer after a reconnect counts as new
    return IRacingPage::Disconnected;
  }
  // The newest buffer (the first one on equal ticks), among those the view holds.
  const int32_t count = memory.i32(iracing::kBufferCount);
  int64_t newest = -1;
  int32_t newestTick = 0;
  for (int64_t i = 0; i < count; ++i) {
    const size_t descriptor = iracing::kBufferDescriptors + static_cast<size_t>(i) * iracing::kDescriptorSize;
    if (!memory.covers(descriptor, iracing::kDescriptorSize)) break;
    const int32_t tick = memory.i32(descriptor);
    if (newest < 0 || tick > newestTick) {
      newest = i;
      newestTick = tick;
    }
  }
  if (newest < 0) return IRacingPage::Unchanged;
  if (newestTick < buffers.lastTick) {
    buffers.lastTick = newestTick;
    return IRacingPage::Moved;
  }
  if (newestTick == buffers.lastTick) return IRacingPage::Unchanged;

  const size_t descriptor = iracing::kBufferDescriptors + static_cast<size_t>(newest) * iracing::kDescriptorSize;
  const int32_t offset = memory.i32(descriptor + 4);
  const int32_t length = memory.i32(iracing::kBufferLength);
  if (offset < 0 || static_cast<size_t>(offset) >= memory.size) return IRacingPage::Unchanged;  // outside the view
  const size_t available = memory.size - static_cast<size_t>(offset);
  const size_t take = std::min({static_cast<size_t>(std::max(length, 0)), iracing::kCopySize, available});
  std::memset(buffers.copy.data(), 0xFF, iracing::kPresetBytes);
  std::memcpy(buffers.copy.data(), memory.data + offset, take);
  buffers.copiedLength = take;
  buffers.lastTick = newestTick;
  buffers.sampleTime = std::chrono::system_clock::now();
  readVariables(memory, buffers, record);
  return IRacingPage::Moved;
}

bool IRacingReader::gameRunning() {
  return platform::isProcessRunning(L"iRacingSim64DX11.exe") || platform::isProcessRunning(L"Iracing.exe");
}

int64_t iRacingNewestTick(ByteView memory) {
  if (!memory.covers(0, iracing::kBufferDescriptors) || (memory.i32(iracing::kStatus) & 1) == 0) return -1;
  int64_t newest = -1;
  const int32_t count = memory.i32(iracing::kBufferCount);
  for (int64_t i = 0; i < count; ++i) {
    const size_t descriptor = iracing::kBufferDescriptors + static_cast<size_t>(i) * iracing::kDescriptorSize;
    if (!memory.covers(descriptor, iracing::kDescriptorSize)) break;
    newest = std::max<int64_t>(newest, memory.i32(descriptor));
  }
  return newest;
}

bool IRacingReader::detect() {
  if (!gameRunning()) return recordClues(false, false);
  MappedSection probe;  // released when the test ends
  if (!probe.openExisting(kIRacingName) || !probe.map(0)) return recordClues(false, true);
  const int64_t tick = iRacingNewestTick(probe.view());
  const bool moved = tick >= 0 && tick != detectedTick_;
  detectedTick_ = tick;
  return recordClues(life_.test(moved), true);
}

// The reader polls the buffers' ticks every cycle and never waits on the
// event; it only takes the event as a sign of the game where the game's
// events can reach it (not on Linux, where the game runs under Wine or Proton).
bool IRacingReader::eventPresent() const { return dataValid_.valid() || !platform::gameEventsReachable(); }

bool IRacingReader::mapNow() {
  if (!memory_.openExisting(kIRacingName) || !memory_.map(0)) return false;
  dataValid_ = platform::NamedEvent::openExisting(kIRacingEventName);
  return eventPresent();
}

bool IRacingReader::attach() {
  if (!memory_.mapped()) {
    if (!gameRunning() || !mappingExists(kIRacingName) || !mapNow()) {
      detach();
      return false;
    }
  }
  if (!memory_.mapped() || !eventPresent()) {
    detach();
    return false;
  }
  attached_ = true;
  buffers_.lastTick = 0;
  buffers_.copiedLength = 0;
  writes_.reset();
  return true;
}

bool IRacingReader::read(SampleRecord& record) {
  if (!attached_) return false;
  if (!memory_.mapped() && !mapNow()) return false;
  // A game that quits, withdraws its memory or crashes stops writing its
  // buffers, which the stall watch notices (no by-name look-up per cycle: the
  // name may outlive the game while this view holds it, and the look-up would
  // cost the cycle a system call and allocations).
  const IRacingPage page = takeIRacingSample(memory_.view(), buffers_, record);
  if (page == IRacingPage::Disconnected) return false;
  if (page == IRacingPage::Moved) writes_.changed();
  if (writes_.stalled()) return false;
  completeSample(record, Completion::Proper, kFullPi);
  return true;
}

void IRacingReader::detach() {
  memory_.release();
  dataValid_.close();
  attached_ = false;
  buffers_.lastTick = 0;
  buffers_.copiedLength = 0;
  writes_.reset();
}

}  // namespace portrelay::readers
