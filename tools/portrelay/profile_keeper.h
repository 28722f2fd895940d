// Keeps the running profile applied: the settings of the game that runs (a
// profile file may name some per game), and the file itself as it is edited.
#pragma once
#include <array>
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

  // The owner's live adjustments, kept over every switch and reload: a
  // master intensity (percent, 0..100) through a gain on every motion slot's
  // chain, and muted rig axes (their slots switched off). Both take effect
  // through the library's fade.
  bool setIntensity(int percent, std::string& error);
  int intensity() const { return intensity_; }
  bool setMuted(int axis, bool muted, std::string& error);
  bool muted(int axis) const { return muted_[static_cast<size_t>(axis)]; }
  // A slot of the file's own settings changed by the owner (the panel):
  // checked with the library's parser, then applied with the fade.
  bool setSlot(int profile, int slot, const std::string& filter, bool active, std::string& error);
  // Writes the file's slots back (see saveProfileSlots); the built-in profile
  // has no file.
  bool save(std::string& error);
  const std::string& path() const { return path_; }
  // Re-reads the file now (what poll does once the file was written).
  void reload(std::string& notice);

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
  int intensity_ = 100;
  std::array<bool, 6> muted_{};
  std::filesystem::file_time_type lastModified_{};
  std::chrono::steady_clock::time_point nextLook_{};
};

}  // namespace host
