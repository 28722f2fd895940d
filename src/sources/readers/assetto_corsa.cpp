// Assetto Corsa / Competizione (id 3): live while the graphics page shows status 2.
#include "sources/readers/assetto_corsa.h"

namespace portrelay::readers {

bool AssettoCorsaReader::detect() {
  MappedSection graphics;  // released when the test ends, whatever its outcome
  const bool live = graphics.createOrOpen(kAcGraphicsName, kAcGraphicsSize) && graphics.map(kAcGraphicsSize) &&
                    acGraphicsStatus(graphics.view()) == kAcStatusLive;
  // The pulse looks at every test, so that its previous look is one pass old.
  return pulse_.test() && live;
}

bool AssettoCorsaReader::attach() {
  lastPacket_ = 0;
  if (physics_.createOrOpen(kAcPhysicsName, kAcPhysicsSize) && physics_.map(kAcPhysicsSize) &&
      graphics_.createOrOpen(kAcGraphicsName, kAcGraphicsSize) && graphics_.map(kAcGraphicsSize) &&
      acGraphicsStatus(graphics_.view()) == kAcStatusLive)
    return true;
  detach();
  return false;
}

bool AssettoCorsaReader::read(SampleRecord& record) {
  if (!physics_.mapped() || !copyAcPhysics(physics_.view(), lastPacket_, record)) return false;
  completeSample(record, Completion::Kinematic);
  return true;
}

void AssettoCorsaReader::detach() {
  physics_.release();
  graphics_.release();
  lastPacket_ = 0;
}

}  // namespace portrelay::readers
