#include "log/logger.h"

#include <ctime>
#include <mutex>

#include "log/diagnostics.h"
#include "platform/clock.h"
#include "platform/paths.h"

#ifndef PORTRELAY_VERSION
#error "PORTRELAY_VERSION is defined by the build"
#endif

namespace portrelay {

namespace {
// Set once the first logger of this process has opened the file and named
// the library's version there; the lock makes every other logger's
// construction wait for that line, so it is the process's first.
std::mutex versionLock;
bool versionLogged = false;
}  // namespace

std::string libraryVersionLine() { return std::string("PortRelay ") + PORTRELAY_VERSION; }

std::string currentTimestamp() {
  const std::tm local = platform::localTime(std::time(nullptr));
  char buffer[80];
  std::strftime(buffer, sizeof buffer, "%Y-%m-%d %H:%M:%S", &local);
  return buffer;
}

Logger::Logger() {
  try {
    const std::string documents = platform::documentsFolder();
    if (documents.empty()) {
      emitDiagnostic(DiagnosticLevel::error, "Failed to retrieve the Documents path\n");
      return;
    }
    const std::string folder = documents + platform::kPathSeparator + "tiltaverse";
    const std::string path = folder + platform::kPathSeparator + "errorlog.txt";
    (void)platform::createDirectories(folder);  // with every missing parent; an existing folder is fine
    file_.open(path, std::ios::out | std::ios::app);
    if (!file_.is_open()) {
      emitDiagnostic(DiagnosticLevel::error, "Failed to open log file\n");
      return;
    }
    // The first line a process writes to the log names the library's version.
    std::lock_guard lock(versionLock);
    if (!versionLogged) {
      versionLogged = true;
      info(libraryVersionLine());
    }
  } catch (...) {
    // Logging never changes the caller's control flow.
  }
}

Logger::~Logger() = default;  // the stream closes itself

void Logger::info(const std::string& message) { write("[INFO] [", message); }

void Logger::error(const std::string& message) { write("[ERROR] [", message); }

void Logger::write(const char* tag, const std::string& message) {
  try {
    std::lock_guard lock(mutex_);
    if (file_.is_open()) {
      file_ << tag << currentTimestamp() << "] " << message << '\n';
      file_.flush();
    } else {
      emitDiagnostic(DiagnosticLevel::error, "Log failed: Unable to write to log file.\n");
    }
  } catch (...) {
  }
}

}  // namespace portrelay
