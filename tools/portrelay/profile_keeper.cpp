#include "profile_keeper.h"

#include <algorithm>
#include <vector>

#include "profile_writer.h"

namespace host {
namespace {

// The cue slots that move each rig axis (the main slot, the tilt and
// position slots of roll and pitch, the effect slot).
const std::vector<int> kAxisSlots[6] = {{0, 15}, {1, 16}, {2, 17}, {3, 18}, {4, 6, 8, 19}, {5, 7, 9, 20}};

// The settings with the owner's intensity and mutes over them: every motion
// slot named, so that a step back to 100 % or an unmute restores it.
Profile adjusted(Profile settings, int intensity, const std::array<bool, 6>& muted) {
  for (int p = 0; p < kProfileCount; ++p) {
    MotionProfile& motion = settings.profiles[static_cast<size_t>(p)];
    for (int axis = 0; axis < 6; ++axis) {
      for (int slot : kAxisSlots[axis]) {
        if (p == 1 && slot > 9) continue;  // GROUND's slots 10..22 are never evaluated
        SlotSetting& setting = motion.slots[slot];
        const std::string chain = setting.filter.value_or("VALUE");
        setting.filter = intensity == 100 ? chain : "GAIN(" + chain + ";" + std::to_string(intensity / 100.0) + ")";
        if (muted[static_cast<size_t>(axis)]) setting.active = false;
        else if (!setting.active) setting.active = true;
      }
    }
  }
  return settings;
}

}  // namespace

ProfileKeeper::ProfileKeeper(const LibraryApi& api, Profile profile, std::string path)
    : api_(api), profile_(std::move(profile)), path_(std::move(path)), lastModified_(modified()) {}

std::filesystem::file_time_type ProfileKeeper::modified() const {
  std::error_code ignored;
  return path_.empty() ? std::filesystem::file_time_type{} : std::filesystem::last_write_time(path_, ignored);
}

bool ProfileKeeper::applyFor(int gameId, std::string& error) {
  appliedGame_ = gameId;
  applied_ = settingsForGame(profile_, gameId);
  return applyMotionSettings(adjusted(applied_, intensity_, muted_), api_, error);
}

bool ProfileKeeper::setIntensity(int percent, std::string& error) {
  intensity_ = std::clamp(percent, 0, 100);
  return applyFor(appliedGame_, error);
}

bool ProfileKeeper::setMuted(int axis, bool muted, std::string& error) {
  muted_[static_cast<size_t>(axis)] = muted;
  return applyFor(appliedGame_, error);
}

bool ProfileKeeper::setSlot(int profile, int slot, const std::string& filter, bool active, std::string& error) {
  if (profile < 0 || profile >= kProfileCount || slot < 0 || slot >= kSlotCount) {
    error = "no such slot";
    return false;
  }
  char reason[8192] = {};
  int32_t position = 0;
  if (api_.checkFilterstring(filter.c_str(), reason, sizeof reason, &position) != 1) {
    error = "invalid at character " + std::to_string(position + 1) + ": " + reason;
    return false;
  }
  const Profile before = profile_;
  SlotSetting& setting = profile_.profiles[static_cast<size_t>(profile)].slots[slot];
  setting.filter = filter;
  setting.active = active;
  if (applyFor(appliedGame_, error)) return true;
  profile_ = before;
  std::string ignored;
  applyFor(appliedGame_, ignored);
  return false;
}

bool ProfileKeeper::save(std::string& error) {
  if (path_.empty()) {
    error = "the built-in profile has no file: start with --profile FILE to save";
    return false;
  }
  if (!saveProfileSlots(path_, profile_, api_, error)) return false;
  lastModified_ = modified();  // our own write is no edit to reload
  return true;
}

void ProfileKeeper::poll(int gameId, std::string& notice) {
  std::string error;
  // A game that is let go keeps the settings it had: nothing moves meanwhile.
  if (gameId >= 0 && gameId != appliedGame_ && !profile_.games.empty()) {
    std::string applied = "the file's settings";
    for (const GameProfile& game : profile_.games)
      if (game.gameId == gameId) applied = "games." + game.key;
    notice = applyFor(gameId, error) ? applied + " applied (fading in)" : error;
  }
  const auto now = std::chrono::steady_clock::now();
  if (path_.empty() || now < nextLook_) return;
  nextLook_ = now + std::chrono::seconds(1);
  const auto written = modified();
  if (written == lastModified_) return;
  lastModified_ = written;
  reload(notice);
}

void ProfileKeeper::reload(std::string& notice) {
  if (path_.empty()) {
    notice = "the built-in profile has no file to reload";
    return;
  }
  std::string error;
  Profile edited;
  if (!loadProfile(path_, api_, edited, error)) {
    notice = "profile edit refused, the running profile stays: " + error;
    return;
  }
  // Ports, fan and timer mode take effect at the next start; the motion now.
  edited.rigPort = profile_.rigPort;
  edited.fan = profile_.fan;
  profile_ = std::move(edited);
  notice = applyFor(appliedGame_, error) ? "profile reloaded from " + path_ : error;
}

}  // namespace host
