// The Windows side of prbridge: the sections it holds, the game it runs, the
// stop request of a second instance.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "prbridge/bridge_sections.h"

namespace prbridge {

// The sections created for one run. Created all or none: a refusal releases
// what was made before it. The destructor releases them and removes the
// backing files.
class HeldSections {
 public:
  // Creates every section; on failure writes one line to standard error and
  // returns the exit code (0 on success).
  int create(const Options& options);
  void release();
  HeldSections();
  ~HeldSections();
  size_t count() const { return held_.size(); }

 private:
  struct Held;
  std::vector<std::unique_ptr<Held>> held_;
};

// The stop request between two instances in one prefix, and Ctrl-C.
class StopSignal {
 public:
  // The running bridge's side: false (with a line on standard error) when
  // another bridge already waits in this prefix.
  bool listen(const std::string& objectNamespace);
  // The second instance's side: asks the running bridge to end.
  static bool request(const std::string& objectNamespace);
  // Blocks until a stop request, Ctrl-C or the console closing.
  void wait();
  // Blocks until `program` ends (its exit code) or a stop request (-1 and the
  // program is left running).
  int waitFor(void* process);
  ~StopSignal();

 private:
  void* event_ = nullptr;
};

// Starts `command` (program and arguments). A program given as a Unix path
// (as Proton passes a game) is turned into its Windows path first. Null with
// a line on standard error when it cannot be started.
void* startProgram(const std::vector<std::string>& command);
void closeProgram(void* process);

// Arguments of this process as UTF-8.
std::vector<std::string> commandLineArguments();

}  // namespace prbridge
