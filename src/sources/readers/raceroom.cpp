#include "sources/readers/raceroom.h"

#include "log/console.h"
#include "platform/processes.h"

namespace portrelay::readers {

bool raceRoomDriving(ByteView memory) {
  if (!memory.covers(0, kRaceRoomSize)) return false;
  return memory.i32(16) != 1 && memory.i32(20) != 1 && memory.i32(24) != 1;  // paused, in menus, in replay
}

void copyRaceRoom(ByteView memory, SampleRecord& record) {
  if (!memory.covers(0, kRaceRoomSize)) return;
  using namespace channel;
  double* d = record.data;
  // Player block from 36: local velocity x/y/z at 96/104/112, local
  // acceleration at 144/152/160, orientation pitch/yaw/roll at 168/176/184,
  // angular acceleration at 216/224/232, angular velocity at 240/248/256.
  d[lateral_speed] = -memory.f64(96);
  d[vertica_speed] = memory.f64(104);
  d[longitu_speed] = -memory.f64(112);
  d[lateral_accel] = -memory.f64(144);
  d[vertica_accel] = memory.f64(152);
  d[longitu_accel] = -memory.f64(160);
  d[pitch_position] = toDegrees(memory.f64(168));
  d[yaw_position] = -toDegrees(memory.f64(176));
  d[roll_position] = toDegrees(memory.f64(184));
  d[pitch_accel] = toDegrees(memory.f64(216));
  d[yaw_accel] = -toDegrees(memory.f64(224));
  d[roll_accel] = toDegrees(memory.f64(232));
  d[pitch_speed] = toDegrees(memory.f64(240));
  d[yaw_speed] = -toDegrees(memory.f64(248));
  d[roll_speed] = toDegrees(memory.f64(256));
}

bool RaceRoomReader::gameRunning() {
  return platform::isProcessRunning(L"RRRE64.exe") || platform::isProcessRunning(L"RRRE.exe");
}

bool RaceRoomReader::detect() {
  if (!gameRunning()) return recordClues(false, false);
  MappedSection probe;  // released when the test ends
  if (!probe.openExisting(kRaceRoomName) || !probe.map(kRaceRoomSize)) return recordClues(false, true);
  const bool moved = page_.changed(probe.view());
  if (!life_.test(moved) || !raceRoomDriving(probe.view())) return recordClues(false, true);
  printConsole(L"Found RRRE.exe, mapping shared memory...\n");
  return recordClues(true, true);
}

bool RaceRoomReader::attach() {
  if (mapped_ || !gameRunning() || !mappingExists(kRaceRoomName)) return false;
  printConsole(L"Found RRRE.exe, mapping shared memory...\n");
  if (!openAndMapExisting(memory_, kRaceRoomName, kRaceRoomSize)) return false;
  // Keep the view only: a handle of ours would keep the name alive after the
  // game has quit, and the by-name check in read() would never notice.
  memory_.closeHandle();
  printConsole(L"Memory mapped successfully\n");
  mapped_ = true;
  writes_.changed();  // detection has just seen the page move
  return true;
}

bool RaceRoomReader::read(SampleRecord& record) {
  // The by-name open on every call notices a game that has quit and withdrawn
  // its memory; the stall watch one whose memory outlives it.
  if (!memory_.mapped()) return false;
  if (page_.changed(memory_.view())) writes_.changed();
  if (writes_.stalled() || !raceRoomDriving(memory_.view()) || !mappingExists(kRaceRoomName)) return false;
  copyRaceRoom(memory_.view(), record);
  completeSample(record, Completion::Kinematic);
  return true;
}

void RaceRoomReader::detach() {
  memory_.release();
  mapped_ = false;
}

}  // namespace portrelay::readers
