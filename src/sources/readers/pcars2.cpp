#include "sources/readers/pcars2.h"

#include "log/console.h"

namespace portrelay::readers {

bool projectCarsPlaying(ByteView memory) {
  return memory.covers(0, kProjectCarsSize) && memory.i32(8) == kProjectCarsPlaying;
}

void copyProjectCars(ByteView memory, SampleRecord& record) {
  if (!memory.covers(0, kProjectCarsSize)) return;
  using namespace channel;
  double* d = record.data;
  d[lateral_accel] = memory.f32(6956);  // local acceleration [0], [1], [2]
  d[longitu_accel] = memory.f32(6960);
  d[vertica_accel] = memory.f32(6964);
  d[lateral_speed] = memory.f32(6920);  // local velocity [0], [1], [2]
  d[longitu_speed] = memory.f32(6924);
  d[vertica_speed] = memory.f32(6928);
  d[yaw_speed] = -toDegrees(memory.f32(6944));
  d[roll_speed] = toDegrees(memory.f32(6948));
  d[pitch_speed] = toDegrees(memory.f32(6952));
  d[yaw_position] = -toDegrees(memory.f32(6908));
  d[roll_position] = toDegrees(memory.f32(6912));
  d[pitch_position] = toDegrees(memory.f32(6916));
}

bool ProjectCarsReader::detect() {
  MappedSection probe;  // released when the test ends
  if (!probe.openExisting(kProjectCarsName) || !probe.map(kProjectCarsSize)) return false;
  const bool moved = page_.changed(probe.view());
  return life_.test(moved) && projectCarsPlaying(probe.view());
}

bool ProjectCarsReader::attach() {
  if (mapped_ || !mappingExists(kProjectCarsName)) return false;
  if (!openAndMapExisting(memory_, kProjectCarsName, kProjectCarsSize)) return false;
  // Keep the view only: a handle of ours would keep the name alive after the
  // game has quit, and the by-name check in read() would never notice.
  memory_.closeHandle();
  printConsole(L"Memory mapped successfully\n");
  mapped_ = true;
  writes_.changed();  // detection has just seen the page move
  return true;
}

bool ProjectCarsReader::read(SampleRecord& record) {
  if (!memory_.mapped()) return false;
  if (page_.changed(memory_.view())) writes_.changed();
  if (writes_.stalled() || !projectCarsPlaying(memory_.view()) || !mappingExists(kProjectCarsName)) return false;
  copyProjectCars(memory_.view(), record);
  completeSample(record, Completion::Kinematic);
  return true;
}

void ProjectCarsReader::detach() {
  memory_.release();
  mapped_ = false;
}

}  // namespace portrelay::readers
