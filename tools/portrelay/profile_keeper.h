// Keeps the running profile applied: the settings of the game that runs (a
// profile file may name some per game), and the file itself as it is edited.
#pragma once
#include <chrono>
#include <filesystem>
#include <string>

#include "library_api.h"
#include "profile.h"

namespace host {

class ProfileKeeper {
 public:
  // `path` empty: the built-in profile, never reloaded.
  ProfileKeeper(const LibraryApi& api, Profile profile, std::string path);

  // Applies the settings for the game that runs now (at the start, -1).
  bool applyFor(int gameId, std::string& error);

  // Call a few times a second: switches settings when the game changes, and
  // re-reads the file about once a second when it was written since. A file
  // that no longer passes the check is refused and the running profile stays;
  // `notice` then says why (and says so when a reload took).
  void poll(int gameId, std::string& notice);

  const Profile& profile() const { return profile_; }
  // The motion settings applied last (the file's with the game's over them).
  const Profile& applied() const { return applied_; }

 private:
  std::filesystem::file_time_type modified() const;

  const LibraryApi& api_;
  Profile profile_;
  Profile applied_;
  std::string path_;
  int appliedGame_ = -1;
  std::filesystem::file_time_type lastModified_{};
  std::chrono::steady_clock::time_point nextLook_{};
};

}  // namespace host
