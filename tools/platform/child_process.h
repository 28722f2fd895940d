// Starting and stopping helper processes (the simulators under tools/), and the
// stop request a simulator answers. Not used by the library itself.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace portrelay::platform {

class ChildProcess {
 public:
  // Starts `program` with `arguments` so that it shows up in the process list
  // under the executable name `processName`. POSIX: argv[0] is `processName`.
  // Windows: the program is copied under that name into a private temporary
  // folder, which is removed again when the child has ended. Null on failure.
  static std::unique_ptr<ChildProcess> launch(const std::string& program, const std::string& processName,
                                              const std::vector<std::string>& arguments);
  ~ChildProcess();  // stops the child if it still runs
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  uint32_t id() const { return id_; }
  bool running();
  // Asks the child to stop (POSIX SIGTERM, so it can clean up; Windows
  // TerminateProcess), waits up to `timeoutMs`, then kills it. Returns the exit code.
  int stop(int timeoutMs = 3000);
  // Waits up to `timeoutMs` for the child to end by itself; the exit code, or -1
  // while it still runs.
  int wait(int timeoutMs);

 private:
  ChildProcess() = default;
  void removeCopy();

  uint32_t id_ = 0;
  intptr_t handle_ = 0;  // the process handle (Windows) or id (POSIX)
  bool ended_ = false;
  int exitCode_ = -1;
  std::string copyFolder_;  // Windows: folder holding the renamed copy
};

// Lets the calling program notice Ctrl-C, SIGINT and SIGTERM through stopRequested().
void installStopRequestHandler();
bool stopRequested();

}  // namespace portrelay::platform
