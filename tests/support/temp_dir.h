// A fresh temporary directory, removed with its contents at scope end.
#pragma once
#include <filesystem>
#include <string>

#include "tools/platform/fake_platform.h"

namespace portrelay::testing {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::string str() const { return path_.string(); }

 private:
  std::filesystem::path path_;
};

// Points the library's Documents folder at a temporary directory for the scope.
class ScopedDocumentsFolder {
 public:
  ScopedDocumentsFolder();
  std::filesystem::path logFile() const { return dir_.path() / "tiltaverse" / "errorlog.txt"; }
  std::string str() const { return dir_.str(); }

 private:
  TempDir dir_;
  platform::ScopedPlatform platform_;
};

std::string readFile(const std::filesystem::path& path);

}  // namespace portrelay::testing
