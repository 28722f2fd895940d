// Project CARS 2 / Automobilista 2 (id 9): the game's published memory "$pcars2$".
#pragma once
#include "sources/game_reader.h"
#include "sources/mapped_section.h"
#include "sources/page_watch.h"
#include "sources/stall_watch.h"

namespace portrelay::readers {

inline constexpr const char* kProjectCarsName = "$pcars2$";
inline constexpr size_t kProjectCarsSize = 20700;
inline constexpr int32_t kProjectCarsPlaying = 2;  // game state while driving

bool projectCarsPlaying(ByteView memory);
void copyProjectCars(ByteView memory, SampleRecord& record);

// The game is found by its memory alone, so a sign of life is required: the
// page says the game is being played and it moved since the previous test.
// While attached, a page that stands still for kStalledAfter gives no sample
// (the game quit or crashed while the bridge or another reader holds the name).
class ProjectCarsReader : public GameReader {
 public:
  bool detect() override;
  bool attach() override;
  bool read(SampleRecord& record) override;
  void detach() override;

 private:
  MappedSection memory_;
  bool mapped_ = false;
  PageWatch<kProjectCarsSize> page_;
  LifeSign life_;
  StallWatch writes_;
};

}  // namespace portrelay::readers
