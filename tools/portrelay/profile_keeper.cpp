#include "profile_keeper.h"

namespace host {

ProfileKeeper::ProfileKeeper(const LibraryApi& api, Profile profile, std::string path)
    : api_(api), profile_(std::move(profile)), path_(std::move(path)), lastModified_(modified()) {}

std::filesystem::file_time_type ProfileKeeper::modified() const {
  std::error_code ignored;
  return path_.empty() ? std::filesystem::file_time_type{} : std::filesystem::last_write_time(path_, ignored);
}

bool ProfileKeeper::applyFor(int gameId, std::string& error) {
  appliedGame_ = gameId;
  applied_ = settingsForGame(profile_, gameId);
  return applyMotionSettings(applied_, api_, error);
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
