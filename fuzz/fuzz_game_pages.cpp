// The shared-memory decoders on hostile pages. The first byte picks the game
// and the page size (the game's whole layout, or a page cut short); the rest
// patches the page, which starts zeroed, as records of a 16-bit offset, a
// length byte and that many bytes, so values deep inside the large layouts
// (RaceRoom, Project CARS 2) are reached as easily as the first ones.
//
// Checked for every game: every access stays inside the page (the page is a
// heap block of exactly its size, so ASan sees a byte past it); a decoder that
// reports nothing new leaves the record as it was; a decoder never writes a
// channel outside its game's channel set; an unchanged page is not new a
// second time (games with a change marker); the gravity split of a sample
// gives finite components within g for a finite attitude; the truck
// simulator's attitude stays within its limits.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <vector>

#include "sources/readers/assetto_corsa.h"
#include "sources/readers/iracing.h"
#include "sources/readers/pcars2.h"
#include "sources/readers/raceroom.h"
#include "sources/readers/rfactor2.h"
#include "sources/readers/truck_sim.h"
#include "sources/telemetry_math.h"

namespace {

using namespace portrelay;
using namespace portrelay::readers;
using namespace portrelay::channel;

enum Game { kAc, kAcGraphics, kRaceRoom, kProjectCars, kRFactor2, kTruck, kIRacing, kGames };

size_t layoutSize(Game game) {
  switch (game) {
    case kAc: return kAcPhysicsSize;
    case kAcGraphics: return kAcGraphicsSize;
    case kRaceRoom: return kRaceRoomSize;
    case kProjectCars: return kProjectCarsSize;
    case kRFactor2: return kRFactor2Size;
    case kTruck: return kTruckSimSize;
    default: return 16384;  // iRacing: the header states its own layout
  }
}

// The channels each game's decoder may write.
std::vector<int> channelsOf(Game game) {
  const std::initializer_list<int> motion = {lateral_speed, lateral_accel, longitu_speed, longitu_accel,
                                             vertica_speed, vertica_accel, yaw_position,  yaw_speed,
                                             roll_position, roll_speed,    pitch_position, pitch_speed};
  std::vector<int> set(motion);
  switch (game) {
    case kRaceRoom:
    case kRFactor2:
      set.insert(set.end(), {yaw_accel, roll_accel, pitch_accel});
      break;
    case kTruck:
      set.insert(set.end(), {yaw_accel, roll_accel, pitch_accel, speed, rpm});
      break;
    case kIRacing:
      return {lateral_accel_g, longitu_accel_g, vertica_accel_g, yaw_speed,     roll_speed,
              pitch_speed,     yaw_position,    roll_position,   pitch_position};
    default:
      break;
  }
  return set;
}

void fillSentinels(SampleRecord& record) {
  for (int i = 0; i < kGameDataCount; ++i) record.data[i] = 1000.0 + i;
}

void checkUntouchedOutside(const SampleRecord& record, Game game) {
  const std::vector<int> written = channelsOf(game);
  for (int i = 0; i < kGameDataCount; ++i) {
    bool mayWrite = false;
    for (int w : written) mayWrite = mayWrite || w == i;
    if (!mayWrite && record.data[i] != 1000.0 + i) __builtin_trap();
  }
}

void checkGravity(SampleRecord record, double pi) {
  if (!std::isfinite(record.data[roll_position]) || !std::isfinite(record.data[pitch_position])) return;
  splitGravity(record, Completion::Kinematic, pi);
  for (int c : {lateral_gravi, longitu_gravi, vertica_gravi}) {
    const double g = record.data[c];
    if (!std::isfinite(g) || std::fabs(g) > 9.80665 * (1 + 1e-12)) __builtin_trap();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const auto game = static_cast<Game>(data[0] % kGames);
  // Bit 7 cuts the page short by 1 + the next byte (a view that does not hold
  // the whole layout must be refused, not read past).
  size_t pageSize = layoutSize(game);
  size_t at = 1;
  if ((data[0] & 0x80) && size > 1) {
    const size_t cut = 1 + static_cast<size_t>(data[1]);
    pageSize = pageSize > cut ? pageSize - cut : 0;
    at = 2;
  }
  std::vector<uint8_t> page(pageSize);
  while (at + 3 <= size) {
    const size_t offset = static_cast<size_t>(data[at]) | static_cast<size_t>(data[at + 1]) << 8;
    size_t length = data[at + 2];
    at += 3;
    if (length > size - at) length = size - at;
    for (size_t i = 0; i < length && offset + i < page.size(); ++i) page[offset + i] = data[at + i];
    at += length;
  }
  // A heap block of exactly the page's size.
  auto* exact = new uint8_t[page.size() + (page.empty() ? 1 : 0)];
  if (!page.empty()) std::memcpy(exact, page.data(), page.size());
  const ByteView view{exact, page.size()};

  SampleRecord record;
  fillSentinels(record);
  SampleRecord before = record;
  bool wrote = false;
  double pi = kReaderPi;
  switch (game) {
    case kAc: {
      int32_t packet = 0;
      wrote = copyAcPhysics(view, packet, record);
      if (wrote) {
        const SampleRecord first = record;
        if (copyAcPhysics(view, packet, record) || std::memcmp(&first, &record, sizeof record) != 0)
          __builtin_trap();  // the same packet counter again is nothing new
      }
      break;
    }
    case kAcGraphics: {
      const int32_t status = acGraphicsStatus(view);
      if (view.size < kAcGraphicsSize ? status != -1 : status != view.i32(4)) __builtin_trap();
      break;
    }
    case kRaceRoom:
      if (raceRoomDriving(view)) {
        copyRaceRoom(view, record);
        wrote = true;
      }
      break;
    case kProjectCars:
      if (projectCarsPlaying(view)) {
        copyProjectCars(view, record);
        wrote = true;
      }
      break;
    case kRFactor2: {
      double stamp = 0.0;
      wrote = copyRFactor2(view, stamp, record);
      pi = kFullPi;
      if (wrote) {
        const SampleRecord first = record;
        if (copyRFactor2(view, stamp, record) || std::memcmp(&first, &record, sizeof record) != 0)
          __builtin_trap();  // an equal time stamp is nothing new
      }
      break;
    }
    case kTruck:
      wrote = copyTruckSim(view, record);
      pi = kFullPi;
      if (wrote) {
        const double yaw = record.data[yaw_position], roll = record.data[roll_position],
                     pitch = record.data[pitch_position];
        if (yaw < 0 || yaw > 360 || roll < -180 || roll > 180 || pitch < -90 || pitch > 90) __builtin_trap();
      }
      break;
    case kIRacing: {
      static IRacingBuffers buffers;  // large; kept across inputs like the reader keeps it
      buffers.lastTick = 0;
      buffers.copiedLength = 0;
      takeIRacingSample(view, buffers, record);
      if (buffers.copiedLength > buffers.copy.size() || buffers.copiedLength > view.size) __builtin_trap();
      wrote = true;
      pi = kFullPi;
      break;
    }
    default:
      break;
  }
  if (!wrote && std::memcmp(&before, &record, sizeof record) != 0) __builtin_trap();
  checkUntouchedOutside(record, game);
  if (wrote) checkGravity(record, pi);
  delete[] exact;
  return 0;
}
