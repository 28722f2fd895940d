#include "prbridge/bridge_sections.h"

#include "platform/shared_memory.h"
#include "sources/readers/assetto_corsa.h"
#include "sources/readers/iracing.h"
#include "sources/readers/pcars2.h"
#include "sources/readers/raceroom.h"
#include "sources/readers/rfactor2.h"
#include "sources/readers/truck_sim.h"

namespace prbridge {

namespace readers = portrelay::readers;

namespace {
// 64 KiB, the granularity of Windows views, leaves every page the library
// reads room to grow in a newer game version. iRacing's memory (header,
// variable headers and a ring of data buffers) has no fixed size; the library
// maps all of it, and 1 MiB holds a session's variables and buffers with room.
constexpr size_t kRoom = 64 * 1024;
constexpr size_t kIRacingRoom = 1024 * 1024;

constexpr size_t withRoom(size_t size) { return (size + kRoom - 1) / kRoom * kRoom; }
}  // namespace

const std::vector<Section>& bridgedSections() {
  static const std::vector<Section> sections = {
      {readers::kAcPhysicsName, withRoom(readers::kAcPhysicsSize)},
      {readers::kAcGraphicsName, withRoom(readers::kAcGraphicsSize)},
      {readers::kRaceRoomName, withRoom(readers::kRaceRoomSize)},
      {readers::kProjectCarsName, withRoom(readers::kProjectCarsSize)},
      {readers::kIRacingName, kIRacingRoom},
      {readers::kRFactor2Name, withRoom(readers::kRFactor2Size)},
      {readers::kTruckSimName, withRoom(readers::kTruckSimSize)},
  };
  return sections;
}

std::string backingFileName(const std::string& windowsName, const std::string& objectNamespace) {
  return portrelay::platform::posixObjectName(windowsName, objectNamespace).substr(1);
}

const char* const kUsage =
    "usage: prbridge [--folder DIR] [--run PROGRAM [ARGUMENTS...]]\n"
    "       prbridge --stop\n"
    "Start it in the game's Wine or Proton prefix before the game. It creates the\n"
    "shared memory of the supported games backed by files in DIR (default Z:\\dev\\shm),\n"
    "where the native Linux library reads them. With --run it starts PROGRAM, waits\n"
    "for it and then removes what it created; without, it waits for prbridge --stop\n"
    "(or Ctrl-C) in the same prefix.\n";

bool parseOptions(const std::vector<std::string>& arguments, Options& options) {
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& word = arguments[i];
    const bool hasValue = i + 1 < arguments.size();
    if (word == "--run") {
      if (!hasValue) return false;
      options.run.assign(arguments.begin() + static_cast<std::ptrdiff_t>(i) + 1, arguments.end());
      break;
    }
    if (word == "--stop") {
      options.stop = true;
    } else if (word == "--help" || word == "-h" || word == "/?") {
      options.help = true;
    } else if (word == "--folder" && hasValue) {
      options.folder = arguments[++i];
      while (options.folder.size() > 3 && (options.folder.back() == '\\' || options.folder.back() == '/'))
        options.folder.pop_back();
    } else if (word == "--namespace" && hasValue) {
      options.objectNamespace = arguments[++i];
    } else {
      return false;
    }
  }
  return !(options.stop && !options.run.empty());
}

}  // namespace prbridge
