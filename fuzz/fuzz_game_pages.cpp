// The shared-memory decoders on arbitrary pages: every access must stay inside
// the view, whatever counts, offsets and lengths the page claims.
#include <cstddef>
#include <cstdint>

#include "sources/readers/assetto_corsa.h"
#include "sources/readers/iracing.h"
#include "sources/readers/pcars2.h"
#include "sources/readers/raceroom.h"
#include "sources/readers/rfactor2.h"
#include "sources/readers/truck_sim.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace portrelay;
  using namespace portrelay::readers;
  const ByteView page{data, size};
  SampleRecord record;
  int32_t packet = 0;
  double stamp = 0.0;
  copyAcPhysics(page, packet, record);
  (void)acGraphicsStatus(page);
  copyRFactor2(page, stamp, record);
  copyTruckSim(page, record);
  if (raceRoomDriving(page)) copyRaceRoom(page, record);
  if (projectCarsPlaying(page)) copyProjectCars(page, record);
  static IRacingBuffers buffers;  // large; kept across inputs like the reader keeps it
  buffers.lastTick = 0;
  takeIRacingSample(page, buffers, record);
  return 0;
}
