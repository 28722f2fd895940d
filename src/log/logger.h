// The time-stamped log file of the network side: Documents\tiltaverse\errorlog.txt.
#pragma once
#include <fstream>
#include <mutex>
#include <string>

namespace portrelay {

// Local time as "%Y-%m-%d %H:%M:%S" (19 characters).
std::string currentTimestamp();

// "PortRelay <version>": the first line each process writes to the log file.
std::string libraryVersionLine();

// Appends one flushed line per message. Each user owns its own Logger; several
// may have the file open at once. The first logger of a process that opens the
// file writes libraryVersionLine() as an INFO line before any other line of
// the process. Never throws; a logger without a file turns every line into a
// failure text on standard error.
class Logger {
 public:
  Logger();
  ~Logger();
  Logger(const Logger&) = delete;
  Logger& operator=(const Logger&) = delete;

  void info(const std::string& message);
  void error(const std::string& message);

  bool hasFile() const { return file_.is_open(); }

 private:
  void write(const char* tag, const std::string& message);

  std::ofstream file_;
  std::mutex mutex_;
};

}  // namespace portrelay
