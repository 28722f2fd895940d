// Every shared-memory decoder fed random bytes and short views: it must stay
// inside the view (the sanitizer builds check every access) and refuse what
// cannot hold its layout.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "sources/readers/assetto_corsa.h"
#include "sources/readers/iracing.h"
#include "sources/readers/pcars2.h"
#include "sources/readers/raceroom.h"
#include "sources/readers/rfactor2.h"
#include "sources/readers/truck_sim.h"

namespace portrelay::readers {
namespace {

std::vector<uint8_t> randomBytes(std::mt19937& random, size_t size) {
  std::vector<uint8_t> bytes(size);
  for (auto& b : bytes) b = static_cast<uint8_t>(random());
  return bytes;
}

TEST(GarbagePages, ShortViewsAreRefused) {
  std::mt19937 random(7);
  const auto bytes = randomBytes(random, kRaceRoomSize);
  const auto cut = [&](size_t size) { return ByteView{bytes.data(), size}; };
  for (size_t shortBy : {size_t{1}, size_t{8}}) {
    SampleRecord record;
    int32_t packet = 0;
    double stamp = -1e300;
    EXPECT_FALSE(copyAcPhysics(cut(kAcPhysicsSize - shortBy), packet, record));
    EXPECT_FALSE(copyRFactor2(cut(kRFactor2Size - shortBy), stamp, record));
    EXPECT_FALSE(copyTruckSim(cut(kTruckSimSize - shortBy), record));
    EXPECT_FALSE(raceRoomDriving(cut(kRaceRoomSize - shortBy)));
    EXPECT_FALSE(projectCarsPlaying(cut(kProjectCarsSize - shortBy)));
    EXPECT_EQ(acGraphicsStatus(cut(kAcGraphicsSize - shortBy)), -1);
  }
  SampleRecord record;
  const SampleRecord before = record;
  copyRaceRoom(cut(kRaceRoomSize - 1), record);
  copyProjectCars(cut(kProjectCarsSize - 1), record);
  EXPECT_EQ(std::memcmp(&record, &before, sizeof record), 0);
  int32_t packet = 0;
  EXPECT_FALSE(copyAcPhysics({nullptr, 5000}, packet, record));
}

TEST(GarbagePages, RandomBytesOfEverySize) {
  std::mt19937 random(20240305);
  const size_t sizes[] = {48, 112, 177, 500, 712, 1320, 1888, 4096, 20700, 39320};
  int decoded = 0;
  for (int round = 0; round < 40; ++round) {
    for (size_t size : sizes) {
      const auto bytes = randomBytes(random, size + random() % 64);
      const ByteView view{bytes.data(), bytes.size()};
      SampleRecord record;
      int32_t packet = 0;
      double stamp = 0.0;
      decoded += copyAcPhysics(view, packet, record) ? 1 : 0;
      decoded += copyRFactor2(view, stamp, record) ? 1 : 0;
      decoded += copyTruckSim(view, record) ? 1 : 0;
      if (raceRoomDriving(view)) copyRaceRoom(view, record);
      if (projectCarsPlaying(view)) copyProjectCars(view, record);
      IRacingBuffers buffers;
      takeIRacingSample(view, buffers, record);
      EXPECT_LE(buffers.copiedLength, iracing::kCopySize);
    }
  }
  EXPECT_GT(decoded, 0);  // random pages do pass the new-data rules
}

TEST(GarbagePages, IRacingWithPlausibleCountsAndRandomOffsets) {
  std::mt19937 random(99);
  for (int round = 0; round < 300; ++round) {
    auto bytes = randomBytes(random, 2048 + random() % 2048);
    const auto put = [&](size_t offset, int32_t value) { std::memcpy(bytes.data() + offset, &value, 4); };
    put(4, 1);                                               // connected
    put(24, static_cast<int32_t>(random() % 40));            // variables
    put(28, static_cast<int32_t>(random() % 4096) - 100);    // headers somewhere, maybe outside
    put(32, static_cast<int32_t>(random() % 6));             // buffers
    put(36, static_cast<int32_t>(random() % 20000) - 1000);  // buffer length
    IRacingBuffers buffers;
    SampleRecord record;
    takeIRacingSample({bytes.data(), bytes.size()}, buffers, record);
    EXPECT_LE(buffers.copiedLength, bytes.size());
  }
}

}  // namespace
}  // namespace portrelay::readers
