#include "profile.h"

#include "filter_warnings.h"
#include "games.h"

#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <fstream>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <vector>

namespace host {
namespace {

using nlohmann::json;

constexpr const char* kProfileNames[kProfileCount] = {"AIR", "GROUND"};

// A refusal: where in the file and why.
struct Refused {
  std::string path;
  std::string reason;
};

std::string join(const std::string& path, const std::string& key) { return path.empty() ? key : path + "." + key; }

const char* typeName(const json& value) {
  if (value.is_boolean()) return "a boolean";
  if (value.is_number()) return "a number";
  if (value.is_string()) return "a string";
  if (value.is_array()) return "an array";
  if (value.is_object()) return "an object";
  return "null";
}

void expect(bool ok, const json& value, const std::string& path, const char* wanted) {
  if (!ok) throw Refused{path, std::string("expected ") + wanted + ", found " + typeName(value)};
}

const json& object(const json& value, const std::string& path) {
  expect(value.is_object(), value, path, "an object");
  return value;
}

// Every key of `value` must be one of `known`.
void onlyKeys(const json& value, const std::string& path, std::initializer_list<const char*> known) {
  for (const auto& [key, unused] : value.items()) {
    bool found = false;
    for (const char* name : known) found = found || key == name;
    if (!found) throw Refused{join(path, key), "unknown key"};
  }
}

double number(const json& value, const std::string& path) {
  expect(value.is_number(), value, path, "a number");
  return value.get<double>();
}

bool boolean(const json& value, const std::string& path) {
  expect(value.is_boolean(), value, path, "a boolean (true or false)");
  return value.get<bool>();
}

std::string text(const json& value, const std::string& path) {
  expect(value.is_string(), value, path, "a string");
  return value.get<std::string>();
}

int integer(const json& value, const std::string& path) {
  expect(value.is_number_integer(), value, path, "a whole number");
  const long long n = value.get<long long>();
  if (n < 1 || n > 1000000) throw Refused{path, "out of range (1..1000000)"};
  return static_cast<int>(n);
}

// A key that names an index: decimal digits within first..last.
int indexKey(const std::string& key, const std::string& path, int first, int last, const char* what) {
  bool digits = !key.empty() && key.size() <= 3;
  for (char c : key) digits = digits && c >= '0' && c <= '9';
  if (!digits) throw Refused{path, std::string("a ") + what + " number is expected as the key"};
  const int n = std::atoi(key.c_str());
  if (n < first || n > last)
    throw Refused{path, std::string(what) + " out of range (" + std::to_string(first) + ".." + std::to_string(last) +
                            ")"};
  return n;
}

std::string shortNumber(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

Limits limits(const json& value, const std::string& path) {
  if (value.is_array() && value.size() != 2)
    throw Refused{path, "expected an array [min, max] of two numbers, found " + std::to_string(value.size()) +
                            (value.size() == 1 ? " value" : " values")};
  expect(value.is_array(), value, path, "an array [min, max]");
  Limits l{number(value[0], path + "[0]"), number(value[1], path + "[1]")};
  if (l.min > l.max) throw Refused{path, "min is above max"};
  return l;
}

std::string comPort(const json& value, const std::string& path, bool autoAllowed) {
  const std::string name = text(value, path);
  if (autoAllowed && name == "auto") return name;
  if (comPortNumber(name) == 0)
    throw Refused{path, autoAllowed ? "expected \"auto\" or a port name COM1..COM255" : "expected a port name COM1..COM255"};
  return name;
}

void readSlots(const json& slots, const std::string& path, const LibraryApi& api, MotionProfile& profile,
               std::vector<std::string>& warnings) {
  object(slots, path);
  for (const auto& [key, entry] : slots.items()) {
    const std::string at = join(path, key);
    const int slot = indexKey(key, at, 0, kSlotCount - 1, "slot");
    object(entry, at);
    onlyKeys(entry, at, {"filter", "active"});
    SlotSetting setting;
    if (entry.contains("filter")) {
      const std::string filter = text(entry["filter"], at + ".filter");
      char reason[4096] = {};
      int32_t position = 0;
      if (api.checkFilterstring(filter.c_str(), reason, sizeof reason, &position) != 1)
        throw Refused{at + ".filter", "invalid filter string \"" + filter + "\" at character " +
                                          std::to_string(position + 1) + ": " + reason};
      for (const std::string& warning : filterWarnings(filter, reason)) warnings.push_back(at + ".filter: " + warning);
      setting.filter = filter;
    }
    if (entry.contains("active")) setting.active = boolean(entry["active"], at + ".active");
    profile.slots[slot] = setting;
  }
}

void readMotionProfile(const json& value, const std::string& path, const LibraryApi& api, MotionProfile& profile,
                       std::vector<std::string>& warnings) {
  object(value, path);
  onlyKeys(value, path, {"slots", "beltWeights"});
  if (value.contains("slots")) readSlots(value["slots"], path + ".slots", api, profile, warnings);
  if (value.contains("beltWeights")) {
    const std::string at = path + ".beltWeights";
    for (const auto& [key, weight] : object(value["beltWeights"], at).items()) {
      const int index = indexKey(key, join(at, key), 0, kGameDataCount - 1, "game-data index");
      profile.beltWeights[index] = number(weight, join(at, key));
    }
  }
}

void readProfile(const json& root, const LibraryApi& api, Profile& profile);

// A game's id from a key of "games": its id, its name as getGameName reports
// it, or gamesim's name for it.
int gameKey(const std::string& key, const std::string& path) {
  for (const SupportedGame& game : supportedGames())
    if (key == std::to_string(game.id) || key == game.name || (!game.simulateKey.empty() && key == game.simulateKey))
      return game.id;
  throw Refused{path, "not a game id 0..17 or a name that 'portrelay games' lists"};
}

void readGames(const json& games, const LibraryApi& api, Profile& profile) {
  for (const auto& [key, entry] : object(games, "games").items()) {
    const std::string at = join("games", key);
    GameProfile game{gameKey(key, at), key, {}};
    game.settings.travel = profile.travel;
    for (const GameProfile& other : profile.games)
      if (other.gameId == game.gameId) throw Refused{at, "names the same game as games." + other.key};
    object(entry, at);
    onlyKeys(entry, at, {"description", "profiles", "inputLimits", "rig"});
    if (entry.contains("rig")) onlyKeys(object(entry["rig"], at + ".rig"), at + ".rig", {"limits"});
    try {
      readProfile(entry, api, game.settings);
    } catch (const Refused& refused) {
      throw Refused{join(at, refused.path), refused.reason};
    }
    for (std::string& warning : game.settings.warnings) profile.warnings.push_back(at + "." + warning);
    game.settings.warnings.clear();
    profile.games.push_back(std::move(game));
  }
}

void readProfile(const json& root, const LibraryApi& api, Profile& profile) {
  object(root, "");
  onlyKeys(root, "", {"$schema", "description", "profiles", "inputLimits", "rig", "fan", "timerPrecision", "games"});
  // The travel first: every rig limit of the file, a game's too, must lie within it.
  if (root.contains("rig") && root["rig"].is_object() && root["rig"].contains("travel")) {
    profile.travel = limits(root["rig"]["travel"], "rig.travel");
    if (!(profile.travel.min < 0.0 && profile.travel.max > 0.0))
      throw Refused{"rig.travel", "must reach below and above 0 (neutral)"};
  }
  if (root.contains("games")) readGames(root["games"], api, profile);
  if (root.contains("description")) text(root["description"], "description");
  if (root.contains("profiles")) {
    const json& profiles = object(root["profiles"], "profiles");
    onlyKeys(profiles, "profiles", {"AIR", "GROUND"});
    for (int p = 0; p < kProfileCount; ++p)
      if (profiles.contains(kProfileNames[p]))
        readMotionProfile(profiles[kProfileNames[p]], std::string("profiles.") + kProfileNames[p], api,
                          profile.profiles[static_cast<size_t>(p)], profile.warnings);
  }
  if (root.contains("inputLimits")) {
    for (const auto& [key, value] : object(root["inputLimits"], "inputLimits").items()) {
      const std::string at = join("inputLimits", key);
      profile.inputLimits[indexKey(key, at, 0, kInputLimitSlots - 1, "slot")] = limits(value, at);
    }
  }
  if (root.contains("rig")) {
    const json& rig = object(root["rig"], "rig");
    onlyKeys(rig, "rig", {"port", "travel", "limits"});
    if (rig.contains("port")) profile.rigPort = comPort(rig["port"], "rig.port", true);
    if (rig.contains("limits")) {
      const json& axes = object(rig["limits"], "rig.limits");
      onlyKeys(axes, "rig.limits", {"sway", "surge", "heave", "yaw", "roll", "pitch"});
      for (int axis = 0; axis < kRigAxes; ++axis) {
        if (!axes.contains(kAxisNames[axis])) continue;
        const std::string at = std::string("rig.limits.") + kAxisNames[axis];
        const Limits l = limits(axes[kAxisNames[axis]], at);
        // A limit beyond the travel would let the frame ask for more than the
        // rig can do (a typo of 8 for 0.8 drove sway to 3.79).
        if (l.min < profile.travel.min || l.max > profile.travel.max)
          throw Refused{at, "[" + shortNumber(l.min) + ", " + shortNumber(l.max) + "] is outside the rig's travel [" +
                                shortNumber(profile.travel.min) + ", " + shortNumber(profile.travel.max) + "]"};
        profile.rigLimits[axis] = l;
      }
    }
  }
  if (root.contains("fan") && !root["fan"].is_null()) {
    const json& fan = object(root["fan"], "fan");
    onlyKeys(fan, "fan", {"port", "baudRate", "frameFormat", "intervalMs"});
    if (!fan.contains("port")) throw Refused{"fan.port", "missing"};
    FanPort port;
    port.port = comPort(fan["port"], "fan.port", false);
    if (fan.contains("baudRate")) port.baudRate = integer(fan["baudRate"], "fan.baudRate");
    if (fan.contains("frameFormat")) {
      port.frameFormat = text(fan["frameFormat"], "fan.frameFormat");
      const std::string& f = port.frameFormat;
      if (f.size() != 3 || f[0] < '5' || f[0] > '8' || std::string("NOEMS").find(f[1]) == std::string::npos ||
          (f[2] != '1' && f[2] != '2'))
        throw Refused{"fan.frameFormat", "expected data bits, parity and stop bits such as \"8N1\""};
    }
    if (fan.contains("intervalMs")) port.intervalMs = integer(fan["intervalMs"], "fan.intervalMs");
    profile.fan = port;
  }
  if (root.contains("timerPrecision")) {
    const std::string mode = text(root["timerPrecision"], "timerPrecision");
    if (mode != "precise" && mode != "coarse") throw Refused{"timerPrecision", "expected \"precise\" or \"coarse\""};
    profile.preciseTimer = mode == "precise";
  }
}

// Keys named twice in one object, which JSON readers silently merge (the last
// one wins): each is refused with its path. Tracked while parsing, since the
// parsed document keeps only one of them.
class DuplicateKeyWatch {
 public:
  bool operator()(int /*depth*/, json::parse_event_t event, json& parsed) {
    switch (event) {
      case json::parse_event_t::object_start:
      case json::parse_event_t::array_start:
        countElement();
        frames_.push_back({event == json::parse_event_t::object_start, {}, {}, -1});
        break;
      case json::parse_event_t::object_end:
      case json::parse_event_t::array_end:
        if (!frames_.empty()) frames_.pop_back();
        break;
      case json::parse_event_t::key: {
        Frame& frame = frames_.back();
        frame.key = parsed.get<std::string>();
        if (!frame.keys.insert(frame.key).second) throw Refused{path(), "the key is given twice"};
        break;
      }
      case json::parse_event_t::value:
        countElement();
        break;
    }
    return true;
  }

 private:
  struct Frame {
    bool object;
    std::set<std::string> keys;
    std::string key;
    int index;
  };

  void countElement() {
    if (!frames_.empty() && !frames_.back().object) ++frames_.back().index;
  }

  std::string path() const {
    std::string at;
    for (const Frame& frame : frames_)
      at = frame.object ? join(at, frame.key) : at + "[" + std::to_string(frame.index) + "]";
    return at;
  }

  std::vector<Frame> frames_;
};

// "LINE:COLUMN" of the byte offset nlohmann reports (1-based, the byte it read last).
std::string lineAndColumn(const std::string& content, size_t byte) {
  const size_t end = std::min(byte > 0 ? byte - 1 : 0, content.size());
  size_t line = 1, lineStart = 0;
  for (size_t i = 0; i < end; ++i)
    if (content[i] == '\n') ++line, lineStart = i + 1;
  return std::to_string(line) + ":" + std::to_string(end - lineStart + 1);
}

// The reader's own words without its prefix: "syntax error while parsing ...".
std::string syntaxReason(const json::exception& e) {
  std::string what = e.what();
  const size_t at = what.find(": ", what.find("parse error"));
  return at == std::string::npos ? what : what.substr(at + 2);
}

}  // namespace

int comPortNumber(const std::string& name) {
  if (name.size() < 4 || name.size() > 6 || name.compare(0, 3, "COM") != 0 || name[3] == '0') return 0;
  int n = 0;
  for (size_t i = 3; i < name.size(); ++i) {
    if (name[i] < '0' || name[i] > '9') return 0;
    n = n * 10 + (name[i] - '0');
  }
  return n <= 255 ? n : 0;
}

bool parseProfile(const std::string& content, const std::string& fileName, const LibraryApi& api, Profile& profile,
                  std::string& error) {
  json root;
  Profile read;
  try {
    root = json::parse(content, DuplicateKeyWatch());
  } catch (const json::parse_error& e) {
    error = fileName + ":" + lineAndColumn(content, e.byte) + ": not valid JSON: " + syntaxReason(e);
    return false;
  } catch (const json::exception& e) {  // a number beyond the double range, such as -1e400
    error = fileName + ": (file): " + (std::string(e.what()).find("overflow") != std::string::npos
                                           ? "a number is beyond the range of a double"
                                           : "not valid JSON");
    return false;
  } catch (const Refused& refused) {
    error = fileName + ": " + refused.path + ": " + refused.reason;
    return false;
  }
  try {
    readProfile(root, api, read);
  } catch (const Refused& refused) {
    error = fileName + ": " + (refused.path.empty() ? "(top level)" : refused.path) + ": " + refused.reason;
    return false;
  }
  for (std::string& warning : read.warnings) warning = fileName + ": " + warning;
  profile = std::move(read);
  return true;
}

bool loadProfile(const std::string& path, const LibraryApi& api, Profile& profile, std::string& error) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    error = path + ": (file): cannot be read";
    return false;
  }
  std::ostringstream content;
  content << file.rdbuf();
  return parseProfile(content.str(), path, api, profile, error);
}

Profile settingsForGame(const Profile& profile, int gameId) {
  Profile in;
  in.profiles = profile.profiles;
  in.inputLimits = profile.inputLimits;
  in.rigLimits = profile.rigLimits;
  // What some game names and the file does not: the library's defaults.
  for (const GameProfile& game : profile.games) {
    for (int p = 0; p < kProfileCount; ++p) {
      const MotionProfile& named = game.settings.profiles[static_cast<size_t>(p)];
      MotionProfile& motion = in.profiles[static_cast<size_t>(p)];
      for (const auto& [slot, setting] : named.slots) {
        SlotSetting& target = motion.slots[slot];
        if (setting.filter && !target.filter) target.filter = "VALUE";
        if (setting.active && !target.active) target.active = true;
      }
      for (const auto& [index, weight] : named.beltWeights) motion.beltWeights.try_emplace(index, 0.0);
    }
    for (const auto& [slot, limits] : game.settings.inputLimits) in.inputLimits.try_emplace(slot, Limits{});
    for (const auto& [axis, limits] : game.settings.rigLimits) in.rigLimits.try_emplace(axis, Limits{});
  }
  for (const GameProfile& game : profile.games) {
    if (game.gameId != gameId) continue;
    for (int p = 0; p < kProfileCount; ++p) {
      const MotionProfile& named = game.settings.profiles[static_cast<size_t>(p)];
      MotionProfile& motion = in.profiles[static_cast<size_t>(p)];
      for (const auto& [slot, setting] : named.slots) {
        if (setting.filter) motion.slots[slot].filter = setting.filter;
        if (setting.active) motion.slots[slot].active = setting.active;
      }
      for (const auto& [index, weight] : named.beltWeights) motion.beltWeights[index] = weight;
    }
    for (const auto& [slot, limits] : game.settings.inputLimits) in.inputLimits[slot] = limits;
    for (const auto& [axis, limits] : game.settings.rigLimits) in.rigLimits[axis] = limits;
  }
  return in;
}

bool applyMotionSettings(const Profile& profile, const LibraryApi& api, std::string& error) {
  for (int p = 0; p < kProfileCount; ++p) {
    const MotionProfile& motion = profile.profiles[static_cast<size_t>(p)];
    for (const auto& [slot, setting] : motion.slots) {
      if (setting.filter && !api.setcheckFilterstring(p, slot, setting.filter->c_str())) {
        error = std::string("the library refused the filter of profiles.") + kProfileNames[p] + ".slots." +
                std::to_string(slot);
        return false;
      }
      if (setting.active) api.setActiveAxis(p, slot, *setting.active ? 1 : 0);
    }
    for (const auto& [index, weight] : motion.beltWeights) api.setBelt_Mix(p, index, weight);
  }
  for (const auto& [slot, l] : profile.inputLimits) api.SetInputDofLimitValue(slot, l.min, l.max);
  for (const auto& [axis, l] : profile.rigLimits) api.SetRigDofLimitValue(axis, l.min, l.max);
  return true;
}

}  // namespace host
