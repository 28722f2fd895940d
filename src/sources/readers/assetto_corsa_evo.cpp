// Assetto Corsa Evo (id 16): a moving physics page plus the game's process.
#include "platform/processes.h"
#include "sources/readers/assetto_corsa.h"

namespace portrelay::readers {

bool AssettoCorsaEvoReader::detect() {
  const bool moving = pulse_.test();
  return recordClues(moving, moving && gameProcessRunning());
}

bool AssettoCorsaEvoReader::gameProcessRunning() const { return platform::isProcessRunning(L"AssettoCorsaEVO.exe"); }

bool AssettoCorsaEvoReader::attach() {
  lastPacket_ = 0;
  if (physics_.createOrOpen(kAcPhysicsName, kAcPhysicsSize) && physics_.map(kAcPhysicsSize)) return true;
  detach();
  return false;
}

bool AssettoCorsaEvoReader::read(SampleRecord& record) {
  if (!physics_.mapped() || !copyAcPhysics(physics_.view(), lastPacket_, record)) return false;
  completeSample(record, Completion::Kinematic);
  return true;
}

void AssettoCorsaEvoReader::detach() {
  physics_.release();
  lastPacket_ = 0;
}

}  // namespace portrelay::readers
