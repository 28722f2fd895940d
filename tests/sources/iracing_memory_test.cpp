// The iRacing header / buffer / variable walk, including hostile headers.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <vector>

#include "gamesim/iracing_sim.h"
#include "sources/readers/iracing.h"
#include "support/motion_expectations.h"

namespace portrelay::readers {
namespace {

using namespace channel;
using gamesim::LapMotion;
using gamesim::LayoutWriter;

constexpr double kSentinel = 777.0;

struct Memory {
  std::vector<uint8_t> bytes = std::vector<uint8_t>(gamesim::irsdk::kSize, 0);
  Memory() { gamesim::irsdk::writeHeader(writer(), true); }
  LayoutWriter writer() { return LayoutWriter(bytes.data(), bytes.size()); }
  ByteView view() const { return {bytes.data(), bytes.size()}; }
  void sample(double t, int32_t buffer, int32_t tick) {
    gamesim::irsdk::writeSample(writer(), LapMotion().at(t), buffer, tick);
  }
  size_t variableHeader(const char* name) const {
    const auto& names = gamesim::irsdk::variableNames();
    for (size_t i = 0; i < names.size(); ++i)
      if (names[i] == name) return gamesim::irsdk::layout().variableHeaders + i * iracing::kVariableHeaderSize;
    return 0;
  }
};

const int kChannels[] = {lateral_accel_g, longitu_accel_g, vertica_accel_g, yaw_speed,     roll_speed,
                         pitch_speed,     yaw_position,    roll_position,   pitch_position};

SampleRecord sentinelRecord() {
  SampleRecord record;
  for (int index : kChannels) record.data[index] = kSentinel;
  return record;
}

int unchangedChannels(const SampleRecord& record) {
  int count = 0;
  for (int index : kChannels) count += record.data[index] == kSentinel ? 1 : 0;
  return count;
}

TEST(IRacingMemory, NineVariablesOfTheNewestBuffer) {
  Memory memory;
  memory.sample(5.0, 0, 5);
  memory.sample(7.0, 1, 7);
  memory.sample(6.0, 2, 6);
  IRacingBuffers buffers;
  SampleRecord record;
  takeIRacingSample(memory.view(), buffers, record);
  EXPECT_EQ(buffers.lastTick, 7);
  const auto m = LapMotion().at(7.0);
  const auto g = gamesim::gravityFor(m.roll, m.pitch);
  EXPECT_NEAR(record.data[lateral_accel_g], m.lateralAccel + g.lateral, 1e-4);
  EXPECT_NEAR(record.data[longitu_accel_g], m.longitudinalAccel + g.longitudinal, 1e-4);
  EXPECT_NEAR(record.data[vertica_accel_g], m.verticalAccel + g.vertical, 1e-4);
  EXPECT_NEAR(record.data[yaw_speed], m.yawRate, 1e-6);  // radians per second, as given
  EXPECT_NEAR(record.data[roll_speed], m.rollRate, 1e-6);
  EXPECT_NEAR(record.data[pitch_speed], m.pitchRate, 1e-6);
  EXPECT_NEAR(record.data[yaw_position], testing::degreesOf(m.yaw), 1e-4);
  EXPECT_NEAR(record.data[roll_position], testing::degreesOf(m.roll), 1e-4);
  EXPECT_NEAR(record.data[pitch_position], testing::degreesOf(m.pitch), 1e-4);
}

TEST(IRacingMemory, EqualTickOnTwoBuffersTakesTheFirst) {
  Memory memory;
  memory.sample(1.0, 0, 4);
  memory.sample(2.0, 1, 4);
  IRacingBuffers buffers;
  SampleRecord record;
  takeIRacingSample(memory.view(), buffers, record);
  EXPECT_NEAR(record.data[yaw_speed], LapMotion().at(1.0).yawRate, 1e-6);
}

TEST(IRacingMemory, OldTickIsOnlyRemembered) {
  Memory memory;
  memory.sample(1.0, 0, 50);
  IRacingBuffers buffers;
  buffers.lastTick = 60;
  SampleRecord record = sentinelRecord();
  takeIRacingSample(memory.view(), buffers, record);
  EXPECT_EQ(buffers.lastTick, 50);
  EXPECT_EQ(unchangedChannels(record), 9);
  takeIRacingSample(memory.view(), buffers, record);  // same tick: still nothing
  EXPECT_EQ(unchangedChannels(record), 9);
  memory.sample(1.5, 1, 51);
  takeIRacingSample(memory.view(), buffers, record);
  EXPECT_EQ(unchangedChannels(record), 0);
}

TEST(IRacingMemory, DisconnectedResetsTheTickOnly) {
  Memory memory;
  memory.sample(1.0, 0, 10);
  IRacingBuffers buffers;
  SampleRecord record;
  takeIRacingSample(memory.view(), buffers, record);
  const SampleRecord good = record;
  gamesim::irsdk::writeConnected(memory.writer(), false);
  memory.sample(9.0, 1, 11);
  takeIRacingSample(memory.view(), buffers, record);
  EXPECT_EQ(buffers.lastTick, INT32_MAX);
  EXPECT_EQ(std::memcmp(&good, &record, sizeof record), 0);
  // Back again with ticks counting from 1: remembered first, then read.
  gamesim::irsdk::writeConnected(memory.writer(), true);
  memory.sample(2.0, 0, 1);
  takeIRacingSample(memory.view(), buffers, record);
  EXPECT_EQ(buffers.lastTick, 11);  // the newest of the ring is still tick 11
  EXPECT_EQ(std::memcmp(&good, &record, sizeof record), 0);
  memory.sample(2.5, 2, 12);
  takeIRacingSample(memory.view(), buffers, record);
  EXPECT_EQ(buffers.lastTick, 12);
  EXPECT_NEAR(record.data[yaw_speed], LapMotion().at(2.5).yawRate, 1e-6);
}

TEST(IRacingMemory, MissingVariableLeavesItsChannel) {
  Memory memory;
  memory.writer().putText(memory.variableHeader("Pitch") + iracing::kNameOffset, "PitchX", 32);
  memory.sample(3.0, 0, 1);
  IRacingBuffers buffers;
  SampleRecord record = sentinelRecord();
  takeIRacingSample(memory.view(), buffers, record);
  EXPECT_EQ(record.data[pitch_position], kSentinel);
  EXPECT_EQ(unchangedChannels(record), 1);
}

TEST(IRacingMemory, NameComparedOverThirtyTwoCharacters) {
  Memory memory;
  // A 32-character name without terminator: must match only itself.
  const char longName[] = "YawRateYawRateYawRateYawRateYawR";
  memory.writer().putText(memory.variableHeader("YawRate") + iracing::kNameOffset, longName, 32);
  memory.sample(3.0, 0, 1);
  IRacingBuffers buffers;
  SampleRecord record = sentinelRecord();
  takeIRacingSample(memory.view(), buffers, record);
  EXPECT_EQ(record.data[yaw_speed], kSentinel);
}

// One hostile change to the header, and how many of the nine channels it may leave unchanged.
struct Hostile {
  const char* what;
  void (*apply)(Memory&);
  int unchanged;
};

const Hostile kHostile[] = {
    {"buffer length beyond the local copy", [](Memory& m) { m.writer().put<int32_t>(36, INT32_MAX); }, 0},
    {"negative buffer length", [](Memory& m) { m.writer().put<int32_t>(36, -5); }, 9},
    {"buffer offset past the view", [](Memory& m) { m.writer().put<int32_t>(52, static_cast<int32_t>(m.bytes.size())); }, 9},
    {"negative buffer offset", [](Memory& m) { m.writer().put<int32_t>(52, -100); }, 9},
    // 20 bytes left: the first two wanted variables (at 12 and 16) lie inside.
    {"buffer at the view's last bytes", [](Memory& m) { m.writer().put<int32_t>(52, static_cast<int32_t>(m.bytes.size() - 20)); }, 7},
    {"negative variable count", [](Memory& m) { m.writer().put<int32_t>(24, -1); }, 9},
    {"huge variable count", [](Memory& m) { m.writer().put<int32_t>(24, INT32_MAX); }, 0},
    {"variable headers past the view", [](Memory& m) { m.writer().put<int32_t>(28, INT32_MAX); }, 9},
    {"negative variable header offset", [](Memory& m) { m.writer().put<int32_t>(28, -144); }, 9},
    {"huge buffer count", [](Memory& m) { m.writer().put<int32_t>(32, INT32_MAX); }, -1},
    {"no buffers", [](Memory& m) { m.writer().put<int32_t>(32, 0); }, 9},
    {"value offset outside the buffer",
     [](Memory& m) { m.writer().put<int32_t>(m.variableHeader("Yaw") + 4, 5000); }, 1},
    {"negative value offset", [](Memory& m) { m.writer().put<int32_t>(m.variableHeader("Roll") + 4, -4); }, 1},
    {"value offset beyond the copy", [](Memory& m) { m.writer().put<int32_t>(m.variableHeader("Roll") + 4, INT32_MAX); }, 1},
};

TEST(IRacingMemory, HostileHeadersStayInBounds) {
  for (const auto& hostile : kHostile) {
    Memory memory;
    memory.sample(4.0, 0, 3);
    hostile.apply(memory);
    IRacingBuffers buffers;
    SampleRecord record = sentinelRecord();
    takeIRacingSample(memory.view(), buffers, record);
    if (hostile.unchanged >= 0) {
      EXPECT_EQ(unchangedChannels(record), hostile.unchanged) << hostile.what;
    }
    EXPECT_LE(buffers.copiedLength, iracing::kCopySize) << hostile.what;
  }
}

TEST(IRacingMemory, ViewSmallerThanTheHeader) {
  Memory memory;
  memory.sample(4.0, 0, 3);
  for (size_t size : {0, 4, 47, 48, 60, 100, 200}) {
    std::vector<uint8_t> cut(memory.bytes.begin(), memory.bytes.begin() + static_cast<std::ptrdiff_t>(size));
    IRacingBuffers buffers;
    SampleRecord record = sentinelRecord();
    takeIRacingSample({cut.data(), cut.size()}, buffers, record);
    EXPECT_EQ(unchangedChannels(record), 9) << size;
  }
}

}  // namespace
}  // namespace portrelay::readers
