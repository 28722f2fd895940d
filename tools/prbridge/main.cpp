// prbridge: run in a game's Wine or Proton prefix so that the native Linux
// library reads the game's shared memory.
//
//   prbridge [--folder DIR] [--run PROGRAM [ARGUMENTS...]]
//   prbridge --stop
//
// It creates each supported game's named section before the game starts,
// backed by a file in the Linux shared-memory folder (Z:\dev\shm) under the
// name the library's POSIX layer opens. The game then opens the section by
// name and writes straight into memory the native library maps: nothing is
// copied and nothing polls. When the game ends (--run) or on prbridge --stop,
// the sections are closed and their files removed.
#include <cstdio>

#include "prbridge/bridge_sections.h"
#include "prbridge/bridge_win32.h"

int main() {
  prbridge::Options options;
  if (!prbridge::parseOptions(prbridge::commandLineArguments(), options)) {
    std::fputs(prbridge::kUsage, stderr);
    return prbridge::kExitUsage;
  }
  if (options.help) {
    std::fputs(prbridge::kUsage, stdout);
    return 0;
  }
  if (options.stop) {
    if (prbridge::StopSignal::request(options.objectNamespace)) return 0;
    std::fprintf(stderr, "prbridge: no bridge runs in this prefix\n");
    return prbridge::kExitNotRunning;
  }

  prbridge::StopSignal stop;
  if (!stop.listen(options.objectNamespace)) return prbridge::kExitSectionExists;
  prbridge::HeldSections sections;
  if (const int refused = sections.create(options); refused != 0) return refused;
  std::printf("prbridge: %zu game sections ready in %s\n", sections.count(), options.folder.c_str());
  std::fflush(stdout);

  int result = 0;
  if (options.run.empty()) {
    stop.wait();
  } else {
    void* game = prbridge::startProgram(options.run);
    if (game == nullptr) return prbridge::kExitCannotRun;
    result = stop.waitFor(game);
    prbridge::closeProgram(game);
    // On a stop request the game runs on without the bridge; its sections
    // stay in the prefix while it holds them, their files go now.
  }
  sections.release();
  std::printf("prbridge: sections removed\n");
  return result;
}
