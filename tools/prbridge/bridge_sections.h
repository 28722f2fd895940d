// What prbridge bridges: the named shared-memory sections of the supported
// games, each backed by a file in the Linux shared-memory folder under the
// name the native library's POSIX layer opens for it.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

namespace prbridge {

struct Section {
  std::string windowsName;  // as the game and the library name it ("Local\acpmf_physics")
  size_t size;              // bytes of the section and of its backing file
};

// The seven sections of the seven shared-memory games (Assetto Corsa and
// Assetto Corsa Evo share their physics page). A section is larger than what
// the library reads of it: a game maps its own, possibly larger, layout, and a
// view larger than the section would fail; the folder is a memory file
// system, which keeps only the pages that are written.
const std::vector<Section>& bridgedSections();

// The file name (no folder) that holds `windowsName` for the native library:
// its POSIX object name without the leading '/'.
std::string backingFileName(const std::string& windowsName, const std::string& objectNamespace);

// The command line.
struct Options {
  std::string folder = "Z:\\dev\\shm";  // the Linux /dev/shm as Wine shows it
  std::string objectNamespace;          // test seam: a prefix for every name
  bool stop = false;                    // --stop: end the bridge running in this prefix
  bool help = false;
  std::vector<std::string> run;         // --run PROGRAM ARGS...: the game to start and wait for
};
// False on a command line it does not understand.
bool parseOptions(const std::vector<std::string>& arguments, Options& options);
extern const char* const kUsage;

// Exit codes.
inline constexpr int kExitUsage = 2;
inline constexpr int kExitNoFolder = 3;
inline constexpr int kExitSectionExists = 4;
inline constexpr int kExitCannotCreate = 5;
inline constexpr int kExitCannotRun = 6;
inline constexpr int kExitNotRunning = 7;

}  // namespace prbridge
