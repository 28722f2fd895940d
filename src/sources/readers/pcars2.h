// Project CARS 2 / Automobilista 2 (id 9): the game's published memory "$pcars2$".
#pragma once
#include "sources/game_reader.h"
#include "sources/mapped_section.h"

namespace portrelay::readers {

inline constexpr const char* kProjectCarsName = "$pcars2$";
inline constexpr size_t kProjectCarsSize = 20700;
inline constexpr int32_t kProjectCarsPlaying = 2;  // game state while driving

bool projectCarsPlaying(ByteView memory);
void copyProjectCars(ByteView memory, SampleRecord& record);

class ProjectCarsReader : public GameReader {
 public:
  bool detect() override;
  bool attach() override;
  bool read(SampleRecord& record) override;
  void detach() override;

 private:
  MappedSection memory_;
  bool mapped_ = false;
};

}  // namespace portrelay::readers
