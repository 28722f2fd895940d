#include "support/text_pattern.h"

#include <regex>

namespace portrelay::testing {

struct TextPattern::Compiled {
  std::regex regex;
};

namespace {

TextPattern::Groups groupsOf(const std::smatch& match) {
  TextPattern::Groups groups;
  for (const auto& group : match) groups.push_back(group.str());
  return groups;
}

}  // namespace

TextPattern::TextPattern(const std::string& pattern)
    : compiled_(std::make_unique<Compiled>(Compiled{std::regex(pattern)})) {}

TextPattern::~TextPattern() = default;

std::optional<TextPattern::Groups> TextPattern::match(const std::string& text) const {
  std::smatch match;
  if (!std::regex_match(text, match, compiled_->regex)) return std::nullopt;
  return groupsOf(match);
}

std::optional<TextPattern::Groups> TextPattern::search(const std::string& text) const {
  std::smatch match;
  if (!std::regex_search(text, match, compiled_->regex)) return std::nullopt;
  return groupsOf(match);
}

std::vector<TextPattern::Groups> TextPattern::searchAll(const std::string& text) const {
  std::vector<Groups> all;
  for (std::sregex_iterator it(text.begin(), text.end(), compiled_->regex), end; it != end; ++it)
    all.push_back(groupsOf(*it));
  return all;
}

}  // namespace portrelay::testing
