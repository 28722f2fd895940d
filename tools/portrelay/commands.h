// The host's commands; each returns the process exit code.
#pragma once
#include <string>

namespace host {

struct RunOptions {
  std::string profile;
  std::string simulate;
  bool virtualRig = false;
  std::string rigPort;
  std::string fanPort;
  double seconds = 0.0;  // 0: until Ctrl-C
  std::string record;
  bool noView = false;
  bool periodStats = false;
  // portrelay ui: the browser panel on this address instead of the terminal view.
  bool panel = false;
  std::string listen = "127.0.0.1:8787";
};

int runCommand(const RunOptions& options);
// Each axis in turn to its rig limits and back (a slow sine, the others at 0),
// then a park: what an owner does after building a rig. Uses the profile's
// rig limits (and ports) and a simulated game for the engine to run on.
int testAxesCommand(const RunOptions& options, double secondsPerAxis);
int portsCommand(bool virtualRig);
int checkCommand(const std::string& filter);
int gamesCommand();

}  // namespace host
