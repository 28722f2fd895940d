// RaceRoom (id 4): the game's published memory "$R3E".
#pragma once
#include "sources/game_reader.h"
#include "sources/mapped_section.h"
#include "sources/page_watch.h"
#include "sources/stall_watch.h"

namespace portrelay::readers {

inline constexpr const char* kRaceRoomName = "$R3E";
inline constexpr size_t kRaceRoomSize = 39320;

// True while the game is neither paused, in its menus nor in a replay (and the
// view holds the whole layout).
bool raceRoomDriving(ByteView memory);
// Copies the player block's motion into the record.
void copyRaceRoom(ByteView memory, SampleRecord& record);

// Detection wants the process and a page that says the game is driving and
// moved since the previous test (a zero-filled page says "driving" too). While
// attached, a page that stands still for kStalledAfter gives no sample: the
// Proton bridge keeps the name alive after the game has quit.
class RaceRoomReader : public GameReader {
 public:
  bool detect() override;
  bool attach() override;
  bool read(SampleRecord& record) override;
  void detach() override;
  bool gameProcessRunning() const override { return gameRunning(); }

 private:
  static bool gameRunning();

  MappedSection memory_;
  bool mapped_ = false;
  PageWatch<kRaceRoomSize> page_;
  LifeSign life_;
  StallWatch writes_;
};

}  // namespace portrelay::readers
