#include "platform/profile_strings.h"

#include <strings.h>

#include <fstream>
#include <optional>

namespace portrelay::platform {
namespace {

std::string trimmed(const std::string& text) {
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return {};
  const auto last = text.find_last_not_of(" \t\r\n");
  return text.substr(first, last - first + 1);
}

bool sameName(const std::string& a, const std::string& b) { return strcasecmp(a.c_str(), b.c_str()) == 0; }

// The section name of a "[name]" line, or nothing for any other line.
std::optional<std::string> sectionOf(const std::string& line) {
  if (line.empty() || line.front() != '[') return std::nullopt;
  const auto close = line.find(']');
  if (close == std::string::npos) return std::nullopt;
  return trimmed(line.substr(1, close - 1));
}

}  // namespace

bool profileSectionExists(const std::string& path, const std::string& section) {
  std::ifstream file(path);
  std::string line;
  while (std::getline(file, line)) {
    const auto name = sectionOf(trimmed(line));
    if (name && sameName(*name, section)) return true;
  }
  return false;
}

std::string readProfileString(const std::string& path, const std::string& section, const std::string& key,
                              const std::string& fallback) {
  std::ifstream file(path);
  std::string line;
  bool inSection = false;
  while (std::getline(file, line)) {
    line = trimmed(line);
    if (const auto name = sectionOf(line)) {
      inSection = sameName(*name, section);
      continue;
    }
    if (!inSection || line.empty() || line.front() == ';') continue;
    const auto equals = line.find('=');
    if (equals == std::string::npos || !sameName(trimmed(line.substr(0, equals)), key)) continue;
    std::string value = trimmed(line.substr(equals + 1));
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
      value = value.substr(1, value.size() - 2);
    return value.substr(0, 255);
  }
  return fallback.substr(0, 255);
}

}  // namespace portrelay::platform
