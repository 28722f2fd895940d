// Euro Truck Simulator 2 / American Truck Simulator (id 17): the truck SDK's
// example telemetry memory "SCSTelemetryExample", a packed layout.
#pragma once
#include <array>
#include <cstdint>

#include "sources/game_reader.h"
#include "sources/mapped_section.h"
#include "sources/page_watch.h"
#include "sources/stall_watch.h"

namespace portrelay::readers {

inline constexpr const char* kTruckSimName = "SCSTelemetryExample";
inline constexpr size_t kTruckSimSize = 177;

// Copies the memory into the record while its running byte is set. Angles are
// in turns there (x 360 gives degrees), and the attitude is held to
// heading [0, 360], roll [-180, 180], pitch [-90, 90].
bool copyTruckSim(ByteView memory, SampleRecord& record);

class TruckSimReader : public GameReader {
 public:
  // The process, and a page that says it is running and moved since the
  // previous test (detection creates the page when it is missing, and the
  // Proton bridge holds it open).
  bool detect() override;
  bool attach() override;
  // A sample while the running byte is set and the page changed within
  // kStalledAfter. The page carries the game's time stamp, so a live game
  // changes it with every write even when the truck stands still; a page that
  // stands still belongs to a game that crashed or quit without clearing it.
  bool read(SampleRecord& record) override;
  void detach() override;
  bool gameProcessRunning() const override;

 private:
  MappedSection memory_;
  PageWatch<kTruckSimSize> page_;
  LifeSign life_;
  StallWatch writes_;
};

}  // namespace portrelay::readers
