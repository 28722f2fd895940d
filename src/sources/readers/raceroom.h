// RaceRoom (id 4): the game's published memory "$R3E".
#pragma once
#include "sources/game_reader.h"
#include "sources/mapped_section.h"

namespace portrelay::readers {

inline constexpr const char* kRaceRoomName = "$R3E";
inline constexpr size_t kRaceRoomSize = 39320;

// True while the game is neither paused, in its menus nor in a replay (and the
// view holds the whole layout).
bool raceRoomDriving(ByteView memory);
// Copies the player block's motion into the record.
void copyRaceRoom(ByteView memory, SampleRecord& record);

class RaceRoomReader : public GameReader {
 public:
  bool detect() override;
  bool attach() override;
  bool read(SampleRecord& record) override;
  void detach() override;

 private:
  static bool gameRunning();

  MappedSection memory_;
  bool mapped_ = false;
};

}  // namespace portrelay::readers
