#include "profile_writer.h"

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

namespace host {

bool saveProfileSlots(const std::string& path, const Profile& profile, const LibraryApi& api, std::string& error) {
  static const char* const kNames[kProfileCount] = {"AIR", "GROUND"};
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  if (!in) {
    error = path + ": cannot be read";
    return false;
  }
  // The file's own key order survives, so a diff shows only what changed.
  nlohmann::ordered_json file = nlohmann::ordered_json::parse(text.str(), nullptr, false);
  if (file.is_discarded() || !file.is_object()) {
    error = path + ": is no longer a JSON object; not overwritten";
    return false;
  }
  for (int p = 0; p < kProfileCount; ++p) {
    for (const auto& [slot, setting] : profile.profiles[static_cast<size_t>(p)].slots) {
      auto& entry = file["profiles"][kNames[p]]["slots"][std::to_string(slot)];
      if (setting.filter) entry["filter"] = *setting.filter;
      if (setting.active) entry["active"] = *setting.active;
    }
  }
  const std::string written = file.dump(2) + "\n";
  Profile check;
  if (!parseProfile(written, path, api, check, error)) return false;

  namespace fs = std::filesystem;
  const fs::path target(path), temporary(path + ".tmp"), backup(path + ".bak");
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << written;
    out.flush();
    if (!out) {
      error = temporary.string() + ": cannot be written";
      return false;
    }
  }
  std::error_code failed;
  fs::copy_file(target, backup, fs::copy_options::overwrite_existing, failed);
  if (!failed) fs::rename(temporary, target, failed);
  if (failed) {
    error = path + ": cannot be replaced (" + failed.message() + ")";
    fs::remove(temporary, failed);
    return false;
  }
  return true;
}

}  // namespace host
