// Running the portrelay program as a rig owner runs it, for the host's tests:
// its exit code and its output (standard output and error together).
#pragma once
#include <cstdlib>
#include <string>

#include "platform/processes.h"
#include "support/temp_dir.h"

namespace portrelay::testing {

inline std::string hostPath() {
  return platform::executableDirectory() + "/portrelay" + platform::kExecutableSuffix;
}

inline std::string quoted(const std::string& text) { return "\"" + text + "\""; }

struct Outcome {
  int exitCode = -1;
  std::string output;  // standard output and error together
};

// The file the output of runHost goes to, in `dir`; readable while it runs.
inline std::string outputPath(const TempDir& dir) { return (dir.path() / "output.txt").string(); }

// Runs the host with `arguments` (already quoted as the shell needs them).
// `wrapper` (POSIX) runs the host under another command, such as timeout.
inline Outcome runHost(const std::string& arguments, const TempDir& dir, const std::string& wrapper = "") {
  const std::string capture = outputPath(dir);
  const std::string command = wrapper + quoted(hostPath()) + " " + arguments + " > " + quoted(capture) + " 2>&1";
#if defined(_WIN32)
  // cmd /c drops the first and the last quote of a line that starts with one.
  const int exitCode = std::system(quoted(command).c_str());
#else
  const int status = std::system(command.c_str());
  const int exitCode = (status >> 8) & 0xFF;
#endif
  std::string output = readFile(capture);
  std::erase(output, '\r');  // Windows programs end their text lines with CR LF
  return {exitCode, output};
}

}  // namespace portrelay::testing
