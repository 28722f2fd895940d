#include "sources/readers/truck_sim.h"

#include <algorithm>

#include "platform/processes.h"

namespace portrelay::readers {

namespace {
constexpr double kTurn = 360.0;
}  // namespace

bool copyTruckSim(ByteView memory, SampleRecord& record) {
  if (!memory.covers(0, kTruckSimSize) || memory.u8(0) == 0) return false;
  using namespace channel;
  double* d = record.data;
  // Unaligned floats: ByteView copies them byte by byte.
  d[speed] = memory.f32(41);
  d[rpm] = memory.f32(45);
  d[lateral_speed] = memory.f32(69);
  d[vertica_speed] = memory.f32(73);
  d[longitu_speed] = -memory.f32(77);
  d[lateral_accel] = memory.f32(93);
  d[vertica_accel] = memory.f32(97);
  d[longitu_accel] = -memory.f32(101);
  d[pitch_speed] = memory.f32(81) * kTurn;
  d[yaw_speed] = memory.f32(85) * kTurn;
  d[roll_speed] = -memory.f32(89) * kTurn;
  d[pitch_accel] = memory.f32(105) * kTurn;
  d[yaw_accel] = memory.f32(109) * kTurn;
  d[roll_accel] = -memory.f32(113) * kTurn;
  d[yaw_position] = std::clamp(memory.f32(25) * kTurn, 0.0, 360.0);
  d[roll_position] = std::clamp(-memory.f32(33) * kTurn, -180.0, 180.0);
  d[pitch_position] = std::clamp(memory.f32(29) * kTurn, -90.0, 90.0);
  return true;
}

bool TruckSimReader::gameProcessRunning() const { return platform::isProcessRunning(L"eurotrucks2.exe"); }

bool TruckSimReader::detect() {
  MappedSection memory;  // released when the test ends
  if (!memory.createOrOpen(kTruckSimName, kTruckSimSize) || !memory.map(kTruckSimSize)) return recordClues(false, false);
  const ByteView page = memory.view();
  const bool moved = page_.changed(page);
  const bool live = life_.test(moved) && page.u8(0) != 0;
  return recordClues(live, live && gameProcessRunning());
}

bool TruckSimReader::attach() {
  writes_.reset();
  if (memory_.createOrOpen(kTruckSimName, kTruckSimSize) && memory_.map(kTruckSimSize)) return true;
  memory_.release();
  return false;
}

bool TruckSimReader::read(SampleRecord& record) {
  if (!memory_.mapped()) return false;
  const ByteView page = memory_.view();
  if (!page.covers(0, kTruckSimSize)) return false;
  if (page_.changed(page)) writes_.changed();
  if (writes_.stalled() || !copyTruckSim(page, record)) return false;
  completeSample(record, Completion::Kinematic, kFullPi);
  return true;
}

void TruckSimReader::detach() {
  memory_.release();
  writes_.reset();
}

}  // namespace portrelay::readers
