// A rig owner's profile file (JSON, see docs/profile.md): both motion
// profiles, limits, belt weights, timer mode and ports. Read and checked as a
// whole before anything is applied.
#pragma once
#include <array>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "library_api.h"

namespace host {

inline constexpr int kProfileCount = 2;  // 0 AIR, 1 GROUND
inline constexpr int kSlotCount = 23;
inline constexpr int kInputLimitSlots = 8;  // slots 0..7 take input limits
inline constexpr int kGameDataCount = 43;
inline constexpr int kRigAxes = 6;
// The rig's axes, in the order of the engine's output and of the limits.
inline constexpr const char* kAxisNames[kRigAxes] = {"sway", "surge", "heave", "yaw", "roll", "pitch"};

struct Limits {
  double min = 0.0, max = 0.0;
};

struct SlotSetting {
  std::optional<std::string> filter;
  std::optional<bool> active;
};

struct MotionProfile {
  std::map<int, SlotSetting> slots;    // by cue slot 0..22
  std::map<int, double> beltWeights;   // by game-data index 0..42
};

struct FanPort {
  std::string port;  // "COM8"
  int baudRate = 115200;
  std::string frameFormat = "8N1";
  int intervalMs = 15;
};

struct GameProfile;

struct Profile {
  std::array<MotionProfile, kProfileCount> profiles;
  std::map<int, Limits> inputLimits;  // by cue slot 0..7
  std::map<int, Limits> rigLimits;    // by rig axis 0..5, each within the travel
  Limits travel{-1.0, 1.0};           // the rig's travel, the same on every axis
  std::optional<bool> preciseTimer;
  std::string rigPort = "auto";       // "auto" or "COMn"
  std::optional<FanPort> fan;
  // "FILE: KEY.PATH: ..." for filter strings accepted but likely slips.
  std::vector<std::string> warnings;
  // Per-game motion settings ("games"), each over the settings above.
  std::vector<GameProfile> games;
};

// The motion settings one game uses instead of the file's own: the keys it
// names replace the file's (profiles, inputLimits, rig.limits).
struct GameProfile {
  int gameId = -1;
  std::string key;  // as the file names it: "7" or "F1-2023-24"
  Profile settings;
};

// The motion settings in force while `gameId` runs (-1: none): the file's,
// with the game's own over them; keys that only another game names go back to
// the library's defaults, so nothing of the last game stays behind.
Profile settingsForGame(const Profile& profile, int gameId);

// Reads and checks a profile. On failure returns false and sets `error` to
// one line: "FILE: KEY.PATH: reason". Filter strings are checked with the
// library's own parser (checkFilterstring), which touches no engine.
bool parseProfile(const std::string& text, const std::string& fileName, const LibraryApi& api, Profile& profile,
                  std::string& error);
bool loadProfile(const std::string& path, const LibraryApi& api, Profile& profile, std::string& error);

// The profile the host uses without --profile (the shipped car profile).
const char* builtInProfileText();

// Applies a checked profile's motion settings (filters, active flags, limits,
// belt weights) through the exports. Returns false (with the slot) if the
// library refuses a filter string the check accepted.
bool applyMotionSettings(const Profile& profile, const LibraryApi& api, std::string& error);

// A COM port name "COMn" with n in 1..255; the number, or 0.
int comPortNumber(const std::string& name);

}  // namespace host
