#include "log/logger.h"

#include <ctime>
#include <iostream>

#include "platform/paths.h"

namespace portrelay {

std::string currentTimestamp() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &now);
#else
  localtime_r(&now, &local);
#endif
  char buffer[80];
  std::strftime(buffer, sizeof buffer, "%Y-%m-%d %H:%M:%S", &local);
  return buffer;
}

Logger::Logger() {
  try {
    const std::string documents = platform::documentsFolder();
    if (documents.empty()) {
      std::cerr << "Failed to retrieve the Documents path" << std::endl;
      return;
    }
    const std::string folder = documents + platform::kPathSeparator + "tiltaverse";
    const std::string path = folder + platform::kPathSeparator + "errorlog.txt";
    (void)platform::createDirectory(folder);  // an existing folder is fine
    file_.open(path, std::ios::out | std::ios::app);
    if (!file_.is_open()) std::cerr << "Failed to open log file" << std::endl;
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
      std::cerr << "Log failed: Unable to write to log file." << std::endl;
    }
  } catch (...) {
  }
}

}  // namespace portrelay
